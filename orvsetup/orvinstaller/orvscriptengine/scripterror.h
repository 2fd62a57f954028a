// The fatal script-error handler: error text with the call stack in a message box, then the end.
#pragma once

#include <string>

#include "orvscriptengine/luaapi.h"

namespace orv {

// Message handler for protected calls. Shows the error and ends the run (EndRun) with kExitScriptError (0).
int ScriptErrorHandler(lua_State* L);

// Appends one line per active frame from `level` outwards, with the header before level 0.
void AppendCallStack(lua_State* L, int level, std::string& buffer);

// The message box text for the error value at stack index 1, as the handler shows it.
std::wstring BuildScriptErrorText(lua_State* L);

extern const wchar_t kScriptErrorCaption[];

}  // namespace orv
