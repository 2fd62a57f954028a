// Text from scripts: UTF-8 on the script side, UTF-16 inside the engine.
#pragma once

#include <string>

#include "orvscriptengine/luaapi.h"

namespace orv {

// Converts script text to UTF-16. Bytes that are not UTF-8 (a script saved in another encoding) become
// U+FFFD, and one trace line names `where`, so the mistake shows in the trace.
std::wstring ScriptText(const char* text, size_t length, const char* where);
std::wstring ScriptText(const char* text, const char* where);

// The name under which the running C function (an action) was called, or "?".
const char* RunningActionName(lua_State* L);

// The same for an action's argument: the trace names the running action.
std::wstring ActionText(lua_State* L, const char* text, size_t length);

}  // namespace orv
