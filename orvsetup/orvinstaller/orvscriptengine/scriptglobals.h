// Reading and writing script globals, and calling hooks.
#pragma once

#include <cstdint>
#include <string>

#include "orvscriptengine/luaapi.h"

namespace orv {

// Lua's string conversion of the global (numbers as Lua prints them; nil, booleans, tables: empty).
std::wstring GetGlobalText(lua_State* L, const char* name);
// Lua truth of the global.
bool GetGlobalFlag(lua_State* L, const char* name);
// The engine's 32-bit integer conversion of the global (ToInt32).
int32_t GetGlobalInteger(lua_State* L, const char* name);
void SetGlobalText(lua_State* L, const char* name, const std::wstring& value);
void SetGlobalFlag(lua_State* L, const char* name, bool value);
void SetGlobalNumber(lua_State* L, const char* name, lua_Number value);

// Calls the global `name` with no arguments and no results when it is a function; skips it otherwise.
// A runtime error in the hook ends the process in the error handler; false (with the error traced) when
// the call failed without reaching it (out of memory, an error in a finaliser): the run must stop.
bool CallHook(lua_State* L, const char* name);

}  // namespace orv
