// RawBuffer: zero-filled memory blocks with typed, little-endian accessors, for DLL functions that fill
// structures or take pointers into them.
#pragma once

#include "orvscriptengine/luaapi.h"

namespace orv {

// Opener of the library table holding `New`; also registers the accessors' metatable.
int OpenRawBuffer(lua_State* L);

}  // namespace orv
