// What the bridge's object kinds share: their registered metatables and the machine address of a value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orvscriptengine/luaapi.h"

namespace orv {

constexpr char kAStringMetaTable[] = "AStringMetaTable";
constexpr char kWStringMetaTable[] = "WStringMetaTable";
constexpr char kRawBufferMetaTable[] = "RawBufferMetaTable";
constexpr char kDllManagerMetaTable[] = "DllManagerMetaTable";

// A full userdata whose metatable is, by identity, the one registered under `metaTable`.
bool IsObjectOf(lua_State* L, int index, const char* metaTable);

// A new zero-filled full userdata of `size` bytes carrying the metatable registered under `metaTable`,
// left on the stack. Raises the engine's out-of-memory error when the block cannot be had.
void* PushObject(lua_State* L, size_t size, const char* metaTable);

// The address a value stands for: the first byte of a full userdata's block, the pointer of a light
// userdata, null for anything else.
void* ValueAddress(lua_State* L, int index);

// Creates the metatable registered under `metaTable` (if new) with `functions` in their order, and
// leaves it on the stack. With `indexSelf` its __index is the metatable itself (methods by `obj:Name()`).
void NewMetaTable(lua_State* L, const char* metaTable, const luaL_Reg* functions, bool indexSelf);

}  // namespace orv
