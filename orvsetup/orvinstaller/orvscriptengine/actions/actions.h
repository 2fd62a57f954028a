// The install actions visible to scripts, declared by family; each family lives in its own file.
#pragma once

#include "../luaapi.h"

namespace orv {

// Trace (logactions.cpp)
int Lua_Logout(lua_State* L);

}  // namespace orv
