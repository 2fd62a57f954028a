// Small helpers for tests that run script text in the process-wide engine.
#pragma once

#include <string>

#include "orvscriptengine/orvscriptengine.h"

inline lua_State* EngineState() { return orv::ORVScriptEngine::Instance().GetLuaState(); }

// Runs script source through the engine's chunk loader; 1 on success.
inline int RunScript(const std::string& source, const char* chunkName = "=test") {
    return orv::ORVScriptEngine::Instance().RunChunk(source.data(), source.size(), chunkName);
}

// Runs a script that sets the global `ok` (cleared first) and returns its truth; the script must load.
inline bool RunForOk(const std::string& script) {
    lua_State* L = EngineState();
    if (RunScript("ok = nil; " + script) != 1) return false;
    lua_getglobal(L, "ok");
    const bool ok = lua_toboolean(L, -1) != 0;
    lua_pop(L, 1);
    return ok;
}

// Precompiled 32-bit bytecode of `source`, made with the engine's own Lua.
std::string CompileToBytecode(const std::string& source);
