// AString and WString: NUL-terminated narrow (thread ANSI code page) and wide (UTF-16) texts at a stable
// address, for DLL functions that take or fill strings.
#pragma once

#include <string>

#include "orvscriptengine/luaapi.h"

namespace orv {

// Openers of the two library tables, each holding `New`.
int OpenAString(lua_State* L);
int OpenWString(lua_State* L);

// A value read as narrow or wide text: Lua text and numbers are UTF-8, string objects convert between
// their kinds, anything else is empty. Stops at the first NUL and never reads past an object's block.
std::string ReadNarrowText(lua_State* L, int index);
std::wstring ReadWideText(lua_State* L, int index);

}  // namespace orv
