// Registration of the install actions as script globals.
#pragma once

#include "orvscriptengine/luaapi.h"

namespace orv {

// Registers every install action under its name, in the fixed order, each as a plain C function
// without upvalues.
void RegisterActions(lua_State* L);

}  // namespace orv
