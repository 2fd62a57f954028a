// Registration of the install actions as script globals.
#pragma once

#include "luaapi.h"

namespace orv {

struct ScriptAction {
    const char* name;
    lua_CFunction function;
};

// The actions in the order the script library lists them.
const ScriptAction* ScriptActions(size_t* count);
void RegisterActions(lua_State* L);

}  // namespace orv
