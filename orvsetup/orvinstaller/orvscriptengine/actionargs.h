// Positional arguments of the install actions: absent or nil arguments read as empty, 0 or false.
#pragma once

#include <string>

#include <lua.hpp>

namespace orv {

// UTF-8 text (numbers convert as Lua prints them) converted to UTF-16.
std::wstring ArgText(lua_State* L, int index);
bool ArgFlag(lua_State* L, int index);
lua_Integer ArgInteger(lua_State* L, int index);

// Pushes UTF-16 text as a UTF-8 string.
void PushText(lua_State* L, const std::wstring& text);

}  // namespace orv
