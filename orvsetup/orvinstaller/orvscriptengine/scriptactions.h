// Registration of the install actions as script globals.
#pragma once

#include <cstddef>

#include "orvscriptengine/luaapi.h"

namespace orv {

// The forty action names in the order they are registered.
extern const char* const kActionOrder[];
extern const size_t kActionOrderCount;

// The families' rows, one table per family (each ended by a null row).
const luaL_Reg* const* ActionFamilies(size_t* count);

// Registers, in the order of kActionOrder, every action whose family has landed, each as a plain C
// function without upvalues. A name no family provides is simply absent.
void RegisterActions(lua_State* L);

}  // namespace orv
