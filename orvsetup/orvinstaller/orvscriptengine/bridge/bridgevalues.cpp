// Metatables and addresses shared by the bridge's object kinds.
#include "orvscriptengine/bridge/bridgevalues.h"

#include <cstring>

namespace orv {

bool IsObjectOf(lua_State* L, int index, const char* metaTable) {
    return lua_type(L, index) == LUA_TUSERDATA && luaL_testudata(L, index, metaTable) != nullptr;
}

void* PushObject(lua_State* L, size_t size, const char* metaTable) {
    void* block = lua_newuserdata(L, size);
    std::memset(block, 0, size);
    luaL_setmetatable(L, metaTable);
    return block;
}

void* ValueAddress(lua_State* L, int index) {
    switch (lua_type(L, index)) {
        case LUA_TUSERDATA:
        case LUA_TLIGHTUSERDATA:
            return lua_touserdata(L, index);
        default:
            return nullptr;
    }
}

void NewMetaTable(lua_State* L, const char* metaTable, const luaL_Reg* functions, bool indexSelf) {
    luaL_newmetatable(L, metaTable);
    if (indexSelf) {
        lua_pushvalue(L, -1);
        lua_setfield(L, -2, "__index");
    }
    luaL_setfuncs(L, functions, 0);
}

}  // namespace orv
