// Positional arguments of the install actions: absent or nil arguments read as empty, 0 or false.
#pragma once

#include <cstdint>
#include <string>

#include "orvscriptengine/luaapi.h"

namespace orv {

// UTF-8 text (numbers convert as Lua prints them, leaving the argument a number) converted to UTF-16;
// anything else is empty.
std::wstring ArgText(lua_State* L, int index);
// ArgText for a name handed to the system (a key, value, class, service or module name) or any text the
// system reads up to its first NUL: false, with a trace line naming the action, when the text holds a
// NUL character, since the system would take the part before it for the whole.
bool ArgName(lua_State* L, int index, std::wstring& name);
// The index of the last argument, 1 when there is none (so the read gives nil, never a slot beyond the
// arguments).
int LastArgument(lua_State* L);
bool ArgFlag(lua_State* L, int index);
// The engine's integer conversion, the same in the 32-bit and the 64-bit build (Lua's own integer type is
// pointer-wide): a number or numeric string rounded to the nearest integer and reduced modulo 2^32
// (read as signed or unsigned); anything else 0.
int32_t ToInt32(lua_State* L, int index);
uint32_t ToUInt32(lua_State* L, int index);
int32_t ArgInteger(lua_State* L, int index);

// The path argument at `index`, expanded with ExpandPath (unless `expand` is false). False, with a trace
// line naming the action, when the text holds a NUL character (the path would be cut there) or does not
// fit once expanded.
bool ArgPath(lua_State* L, int index, std::wstring& path, bool expand = true);

// Pushes UTF-16 text as a UTF-8 string.
void PushText(lua_State* L, const std::wstring& text);
// Pushes a boolean; returns 1, the count of results, for `return PushFlag(L, ok);`.
int PushFlag(lua_State* L, bool value);

// Whether a file or folder exists at the path.
bool PathExists(const std::wstring& path);
// The shared trace for a missing input path: "Fun:ACTION, Description:PATH it's not exists!".
void TraceMissing(const char* action, const std::wstring& path);
// Whether an input path exists; writes the missing-path trace when it does not.
bool RequirePath(const char* action, const std::wstring& path);

}  // namespace orv
