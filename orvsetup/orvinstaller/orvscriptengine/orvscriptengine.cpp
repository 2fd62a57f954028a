// Engine construction, chunk loading from resources and protected calls.
#include "orvscriptengine/orvscriptengine.h"

#include "orvscriptengine/bridge.h"
#include "orvscriptengine/scriptactions.h"
#include "orvscriptengine/scripterror.h"
#include "orvscriptengine/scripttext.h"
#include "utility/resourcedata.h"
#include "utility/runexit.h"
#include "utility/textconv.h"
#include "utility/trace.h"

#include <cstdlib>

#define ORV_TRACE_SOURCE L"orvscriptengine"

namespace orv {
namespace {

// Only an error outside any protected call gets here; the run sequence runs under one, so this is a
// fault of the engine itself. Lua aborts the process when this returns.
int Panic(lua_State* L) {
    TraceLine(L"PANIC: unprotected error in call to Lua API (%ls)\r\n",
              ScriptText(lua_tostring(L, -1), "panic").c_str());
    return 0;
}

// os.exit([code]) as Lua's own takes its code (true: EXIT_SUCCESS, false: EXIT_FAILURE, a number: that
// number, none: EXIT_SUCCESS), but ends the run through EndRun: C's exit would run the static destructors,
// closing the script state while another thread may still be inside it. The state is never closed here
// (a second argument asking for that is ignored), for the same reason.
int OsExit(lua_State* L) {
    int code = EXIT_SUCCESS;
    if (lua_isboolean(L, 1)) {
        code = lua_toboolean(L, 1) ? EXIT_SUCCESS : EXIT_FAILURE;
    } else {
        code = static_cast<int>(luaL_optinteger(L, 1, EXIT_SUCCESS));
    }
    TraceLine(L"os.exit(%d)\r\n", code);
    EndRun(code);
}

void ReplaceOsExit(lua_State* L) {
    lua_getglobal(L, "os");
    if (lua_istable(L, -1)) {
        lua_pushcfunction(L, OsExit);
        lua_setfield(L, -2, "exit");
    }
    lua_pop(L, 1);
}

}  // namespace

ORVScriptEngine& ORVScriptEngine::Instance() {
    static ORVScriptEngine engine;
    return engine;
}

ORVScriptEngine::ORVScriptEngine() { Init(); }

ORVScriptEngine::~ORVScriptEngine() {
    if (state_) {
        lua_close(state_);
        state_ = nullptr;
    }
}

void ORVScriptEngine::Init() {
    state_ = lua_newstate(LuaHeap::Allocate, &heap_);
    if (!state_) throw NoLuaState{E_FAIL};
    lua_atpanic(state_, Panic);
    luaL_openlibs(state_);
    ReplaceOsExit(state_);
    InstallBridge(state_);
    RegisterActions(state_);
}

int ORVScriptEngine::DoResLua(const wchar_t* type, const wchar_t* name) {
    const ResourceBytes chunk = LoadResourceBytes(::GetModuleHandleW(nullptr), type, name);
    switch (chunk.status) {
        case ResourceStatus::kNotLoaded:
            TraceLine(L"LoadResource failed. Type : %ls ID : %ls\r\n", type, name);
            ORV_FAILURE_TRAILER(L"", chunk.error);
            return 0;
        case ResourceStatus::kNotLocked:
            ORV_FAILURE_TRAILER(L"LockResource failed.", chunk.error);
            return 0;
        case ResourceStatus::kEmpty:
            TraceLine(L"ResSize == 0\r\n");
            return 0;
        case ResourceStatus::kLoaded:
            break;
    }
    const std::string chunkName = WideToAnsi(name);
    return RunChunk(static_cast<const char*>(chunk.data), chunk.size, chunkName.c_str());
}

int ORVScriptEngine::RunChunk(const char* data, size_t size, const char* chunkName) {
    lua_State* L = state_;
    if (luaL_loadbuffer(L, data, size, chunkName) != LUA_OK) {
        TraceLine(L"%ls\r\n", PopErrorText(L).c_str());
        TraceLine(L"luaL_loadbuffer failed!\r\n");
        return 0;
    }
    // Only errors that bypass the handler get here (out of memory, an error in a finaliser).
    if (ProtectedCall(L, 0, 0) != LUA_OK) {
        TraceLine(L"%ls\r\n", PopErrorText(L).c_str());
        return 0;
    }
    return 1;
}

int ORVScriptEngine::ProtectedCall(lua_State* L, int nargs, int nresults) {
    const int base = lua_gettop(L) - nargs;  // index of the function being called
    lua_pushcfunction(L, ScriptErrorHandler);
    lua_insert(L, base);
    const int status = lua_pcall(L, nargs, nresults, base);
    lua_remove(L, base);
    return status;
}

std::wstring ORVScriptEngine::PopErrorText(lua_State* L) {
    size_t length = 0;
    const char* message = lua_tolstring(L, -1, &length);
    std::wstring text = ScriptText(message, length, "error message");
    lua_pop(L, 1);
    return text;
}

}  // namespace orv
