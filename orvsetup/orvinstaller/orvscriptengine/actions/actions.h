// The install action families: each family's file lists its script functions in one table of rows,
// ended by a null row (as Lua's own libraries do); scriptactions.cpp fixes the order scripts see.
#pragma once

#include "orvscriptengine/luaapi.h"

namespace orv {

extern const luaL_Reg kArchiveActions[];  // archiveactions.cpp
extern const luaL_Reg kFileActions[];     // fileactions.cpp
extern const luaL_Reg kLogActions[];      // logactions.cpp
extern const luaL_Reg kProcessActions[];  // processactions.cpp
extern const luaL_Reg kRegistryActions[]; // registryactions.cpp
extern const luaL_Reg kServiceActions[];  // serviceactions.cpp
extern const luaL_Reg kShellActions[];    // shellactions.cpp
extern const luaL_Reg kSystemActions[];   // systemactions.cpp

}  // namespace orv
