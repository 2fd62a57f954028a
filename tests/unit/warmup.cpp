// What this program keeps for its whole life once a test first asks for it, made before the first test
// so that the handle check counts from there: the program file the archive actions read through, the
// shell's internet-shortcut classes (with their URL cache), and the runtime's state for the first error
// that leaves a frame by a Lua memory error.
#include <windows.h>
#include <intshcut.h>

#include "luatestutil.h"
#include "resourcecheck.h"
#include "utility/programfile.h"
#include "utility/uniquehandle.h"

namespace {

int PushWithoutMemory(lua_State* L) {
    orv::ORVScriptEngine::Instance().Heap().FailAfter(1);
    lua_pushlstring(L, std::string(300, 'x').data(), 300);
    return 1;
}

void WarmUp() {
    orv::ProgramFile::Instance();
    {
        const orv::ComInit com;
        orv::ComRef<IUniformResourceLocatorW> url;
        if (SUCCEEDED(::CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IUniformResourceLocatorW, url.Put())))
            url->SetURL(L"http://example.com/", 0);
    }
    lua_State* L = EngineState();
    lua_pushcfunction(L, PushWithoutMemory);
    orv::ORVScriptEngine::ProtectedCall(L, 0, 1);
    orv::ORVScriptEngine::Instance().Heap().FailAfter(0);
    lua_pop(L, 1);
}

const bool g_warmUp = (orv::test::SetResourceCheckWarmUp(WarmUp), true);

}  // namespace
