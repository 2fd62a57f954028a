// Engine construction, chunk loading from resources and protected calls.
#include "orvscriptengine.h"

#include "bridge.h"
#include "scriptactions.h"
#include "scripterror.h"
#include "scripttrace.h"
#include "textconv.h"
#include "../../common/utility/scopeguard.h"

#define ORV_TRACE_SOURCE L"orvscriptengine"

namespace orv {

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
    state_ = luaL_newstate();  // standard allocator and panic function
    if (!state_) throw ComFailure{E_FAIL};
    luaL_openlibs(state_);
    InstallBridge(state_);
    RegisterActions(state_);
}

int ORVScriptEngine::DoResLua(const wchar_t* type, const wchar_t* name) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC info = ::FindResourceW(module, name, type);
    HGLOBAL loaded = info ? ::LoadResource(module, info) : nullptr;
    if (!loaded) {
        TraceLine(L"LoadResource failed. Type : %s ID : %s\r\n", type, name);
        ORV_FAILURE_TRAILER(L"");
        return 0;
    }
    auto release = MakeScopeExit([loaded] { ::FreeResource(loaded); });
    const void* data = ::LockResource(loaded);
    if (!data) {
        ORV_FAILURE_TRAILER(L"LockResource failed.");
        return 0;
    }
    const DWORD size = ::SizeofResource(module, info);
    if (size == 0) {
        TraceLine(L"ResSize == 0\r\n");
        return 0;
    }
    const std::string chunkName = WideToAnsi(name);
    return RunChunk(static_cast<const char*>(data), size, chunkName.c_str());
}

int ORVScriptEngine::RunChunk(const char* data, size_t size, const char* chunkName) {
    lua_State* L = state_;
    if (luaL_loadbuffer(L, data, size, chunkName) != LUA_OK) {
        size_t length = 0;
        const char* message = lua_tolstring(L, -1, &length);
        const std::wstring text = Utf8ToWide(message, message ? length : 0);
        lua_pop(L, 1);
        TraceLine(L"%s\r\n", text.c_str());
        TraceLine(L"luaL_loadbuffer failed!\r\n");
        return 0;
    }
    if (ProtectedCall(L, 0, 0) != LUA_OK) {
        lua_pop(L, 1);  // only errors that bypass the handler get here (out of memory)
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

}  // namespace orv
