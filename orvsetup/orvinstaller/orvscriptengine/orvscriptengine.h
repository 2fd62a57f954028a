// The process-wide script engine: one Lua state, the bridge types, the install actions, and chunk loading.
#pragma once

#include <windows.h>

#include <string>

#include "orvscriptengine/luaapi.h"
#include "orvscriptengine/luaheap.h"

namespace orv {

// Raised when the engine cannot be created (no Lua state): the program cannot go on.
struct NoLuaState {
    HRESULT hr;
};

class ORVScriptEngine {
public:
    // Created on first use (thread-safe), destroyed at process exit.
    static ORVScriptEngine& Instance();

    ORVScriptEngine(const ORVScriptEngine&) = delete;
    ORVScriptEngine& operator=(const ORVScriptEngine&) = delete;
    ~ORVScriptEngine();

    // Loads the resource `name` of `type` from the program's own module and runs it as a chunk.
    // Nonzero when the chunk loaded and ran to its end.
    int DoResLua(const wchar_t* type, const wchar_t* name);
    // Loads a chunk (source or precompiled) from memory and runs it. 1 on success, 0 otherwise.
    int RunChunk(const char* data, size_t size, const char* chunkName);

    lua_State* GetLuaState() const { return state_; }
    LuaHeap& Heap() { return heap_; }

    // Calls the function below `nargs` arguments with the script error handler beneath it; returns the
    // status of the protected call (0 = success).
    static int ProtectedCall(lua_State* L, int nargs, int nresults);
    // Pops the error message a failed protected call left on the top and returns it as text.
    static std::wstring PopErrorText(lua_State* L);

private:
    ORVScriptEngine();
    void Init();

    LuaHeap heap_;  // outlives the state
    lua_State* state_ = nullptr;
};

}  // namespace orv
