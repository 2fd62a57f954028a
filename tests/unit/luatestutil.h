// Small helpers for tests that run script text in the process-wide engine.
#pragma once

#include <string>

#include "orvscriptengine/orvscriptengine.h"

inline lua_State* EngineState() { return orv::ORVScriptEngine::Instance().GetLuaState(); }

// Runs script source through the engine's chunk loader; 1 on success.
inline int RunScript(const std::string& source, const char* chunkName = "=test") {
    return orv::ORVScriptEngine::Instance().RunChunk(source.data(), source.size(), chunkName);
}

// Precompiled 32-bit bytecode of `source`, made with the engine's own Lua.
std::string CompileToBytecode(const std::string& source);
