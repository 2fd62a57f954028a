// The install actions visible to scripts, declared by family; each family lives in its own file.
#pragma once

#include <lua.hpp>

namespace orv {

// Trace (logactions.cpp)
int Lua_Logout(lua_State* L);

}  // namespace orv
