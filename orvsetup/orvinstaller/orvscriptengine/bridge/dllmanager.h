// DllManager: loaded modules whose exports are bound to script functions; GLibTab: the global table that
// loads a module on its first lookup by name.
#pragma once

#include "orvscriptengine/luaapi.h"

namespace orv {

// Opener of the library table holding `Load`; also registers the module objects' metatable.
int OpenDllManager(lua_State* L);

// Installs the global GLibTab with its loading metatable.
void InstallGLibTab(lua_State* L);

}  // namespace orv
