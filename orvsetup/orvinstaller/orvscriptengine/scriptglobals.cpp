// Globals and hooks as the application sees them.
#include "orvscriptengine/scriptglobals.h"

#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/orvscriptengine.h"
#include "orvscriptengine/scripttext.h"
#include "utility/textconv.h"
#include "utility/trace.h"

namespace orv {

std::wstring GetGlobalText(lua_State* L, const char* name) {
    lua_getglobal(L, name);
    size_t length = 0;
    const char* text = lua_tolstring(L, -1, &length);
    std::wstring value = ScriptText(text, text ? length : 0, name);
    lua_pop(L, 1);
    return value;
}

bool GetGlobalFlag(lua_State* L, const char* name) {
    lua_getglobal(L, name);
    const bool value = lua_toboolean(L, -1) != 0;
    lua_pop(L, 1);
    return value;
}

int32_t GetGlobalInteger(lua_State* L, const char* name) {
    lua_getglobal(L, name);
    const int32_t value = ToInt32(L, -1);
    lua_pop(L, 1);
    return value;
}

void SetGlobalText(lua_State* L, const char* name, const std::wstring& value) {
    const std::string utf8 = WideToUtf8(value);
    lua_pushlstring(L, utf8.data(), utf8.size());
    lua_setglobal(L, name);
}

void SetGlobalFlag(lua_State* L, const char* name, bool value) {
    lua_pushboolean(L, value ? 1 : 0);
    lua_setglobal(L, name);
}

void SetGlobalNumber(lua_State* L, const char* name, lua_Number value) {
    lua_pushnumber(L, value);
    lua_setglobal(L, name);
}

bool CallHook(lua_State* L, const char* name) {
    lua_getglobal(L, name);
    if (lua_type(L, -1) != LUA_TFUNCTION) {
        lua_pop(L, 1);
        return true;
    }
    if (ORVScriptEngine::ProtectedCall(L, 0, 0) == LUA_OK) return true;
    TraceLine(L"%hs failed: %ls\r\n", name, ORVScriptEngine::PopErrorText(L).c_str());
    return false;
}

}  // namespace orv
