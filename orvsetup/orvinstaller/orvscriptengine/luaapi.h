// The Lua API as the engine builds it. Lua is compiled as C++, so a Lua error unwinds C++ frames (their
// destructors run) instead of jumping over them, and its functions have C++ linkage: include this header,
// never lua.hpp, whose extern "C" block would name other symbols.
#pragma once

#include <lua.h>
#include <lauxlib.h>
#include <lualib.h>
