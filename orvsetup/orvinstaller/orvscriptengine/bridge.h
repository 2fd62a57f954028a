// Installs the script data bridge: value types as required modules, then the DLL library table.
#pragma once

#include "orvscriptengine/luaapi.h"

namespace orv {

// Calls `opener` with the module name, stores its result in package.loaded and as a global of that
// name, and leaves the stack as it was.
void InstallRequiredModule(lua_State* L, const char* name, lua_CFunction opener);

// The bridge modules in their installation order, then the DLL library table.
void InstallBridge(lua_State* L);

}  // namespace orv
