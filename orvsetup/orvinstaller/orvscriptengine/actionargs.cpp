// Argument reading and result pushing for the install actions.
#include "actionargs.h"

#include "textconv.h"

namespace orv {

std::wstring ArgText(lua_State* L, int index) {
    if (lua_type(L, index) != LUA_TSTRING && lua_type(L, index) != LUA_TNUMBER) return std::wstring();
    size_t length = 0;
    const char* text = lua_tolstring(L, index, &length);
    return Utf8ToWide(text, text ? length : 0);
}

bool ArgFlag(lua_State* L, int index) { return lua_toboolean(L, index) != 0; }

// lua_tounsigned rounds and wraps the same way on every target; lua_tointeger truncates on x86_64.
uint32_t ToUInt32(lua_State* L, int index) { return static_cast<uint32_t>(lua_tounsigned(L, index)); }

int32_t ToInt32(lua_State* L, int index) { return static_cast<int32_t>(ToUInt32(L, index)); }

int32_t ArgInteger(lua_State* L, int index) { return ToInt32(L, index); }

void PushText(lua_State* L, const std::wstring& text) {
    const std::string utf8 = WideToUtf8(text);
    lua_pushlstring(L, utf8.data(), utf8.size());
}

}  // namespace orv
