// The dialogs' text rules and the script state's lock, without windows.
#include <gtest/gtest.h>
#include <windows.h>

#include "dialogtext.h"
#include "orvcompletedlg.h"
#include "orvinitdlg.h"
#include "orvinstalldlg.h"
#include "orvscriptengine/luaapi.h"
#include "orvscriptengine/lualock.h"
#include "utility/scopeguard.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace {

TEST(DialogText, PlaceholdersFoldersAndNumbers) {
    std::wstring name;
    EXPECT_TRUE(FindPlaceholder(L"in $global_install_path$ and $other$", name));
    EXPECT_EQ(name, L"global_install_path");
    EXPECT_FALSE(FindPlaceholder(L"only $one", name));
    EXPECT_EQ(ReplaceAll(L"$a$-$a$", L"$a$", L"$a$x"), L"$a$x-$a$x");  // replaced text is not searched again

    EXPECT_TRUE(ORVInitDlg::CheckDir(L"D:\\Apps/Quellby", L"Quellby"));
    EXPECT_FALSE(ORVInitDlg::CheckDir(L"D:\\Apps\\quellby", L"Quellby"));
    EXPECT_EQ(ORVInitDlg::CompleteInstallFolder(L"D:\\Apps\\Quellby", L"Quellby"), L"D:\\Apps\\Quellby");
    EXPECT_EQ(ORVInitDlg::CompleteInstallFolder(L"D:\\Apps", L"Quellby"), L"D:\\Apps\\Quellby");
    EXPECT_EQ(ORVInitDlg::CompleteInstallFolder(L"D:\\", L"Quellby"), L"D:\\Quellby");

    EXPECT_EQ(ORVInitDlg::ParseNeed(L"57999360"), 57999360u);
    EXPECT_EQ(ORVInitDlg::ParseNeed(L"12abc"), 12u);
    EXPECT_EQ(ORVInitDlg::ParseNeed(L"lots"), 0u);  // not a number: no need that could never be met
    EXPECT_NE(ORVInitDlg::SpaceMessage(57999360).find(L"需要55.31MB的空间"), std::wstring::npos);

    EXPECT_EQ(ORVInstallDlg::TickPeriod(92996846), 287u);
    EXPECT_EQ(ORVInstallDlg::TickPeriod(0), 0u);
    EXPECT_EQ(ORVCompleteDlg::ShellLevelCommand(L"C:\\Q\\Quellby.exe", L""), L"explorer.exe \"C:\\Q\\Quellby.exe\" \"\"");
}

struct Gate {
    UniqueHandle inside{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle release{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};
Gate* g_gate = nullptr;

// A slow action: the script stands still inside it until the test lets it go on.
int WaitAtGate(lua_State*) {
    ::SetEvent(g_gate->inside.Get());
    ::WaitForSingleObject(g_gate->release.Get(), 10000);
    return 0;
}

DWORD WINAPI RunChunk(LPVOID thread) {
    lua_State* L = static_cast<lua_State*>(thread);
    const int status = luaL_loadstring(L, "local x = 0 for i = 1, 100000 do x = x + i end "
                                          "wait_at_gate() seen = global_install_progress_pos");
    return status == LUA_OK && lua_pcall(L, 0, 0, 0) == LUA_OK ? 0 : 1;
}

TEST(ScriptStateLock, AWorkerInsideAnActionLetsTheWindowIn) {
    Gate gate;
    g_gate = &gate;
    lua_State* L = luaL_newstate();
    const auto closeState = MakeScopeExit([L] { lua_close(L); });  // frees the worker's reference too
    lua_register(L, "wait_at_gate", WaitAtGate);
    lua_State* worker = lua_newthread(L);
    luaL_ref(L, LUA_REGISTRYINDEX);
    // While this thread holds the state the worker cannot start its chunk.
    ASSERT_TRUE(TryHoldScriptState());
    const UniqueHandle thread(::CreateThread(nullptr, 0, RunChunk, worker, 0, nullptr));
    ASSERT_TRUE(thread.Valid());
    EXPECT_EQ(::WaitForSingleObject(gate.inside.Get(), 300), static_cast<DWORD>(WAIT_TIMEOUT));
    ReleaseScriptState();
    ASSERT_EQ(::WaitForSingleObject(gate.inside.Get(), 10000), WAIT_OBJECT_0);
    // The worker is inside a native function: the state is free for the window's thread.
    ASSERT_TRUE(TryHoldScriptState());
    lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
    lua_pushstring(L, "global_install_progress_pos");
    lua_pushnumber(L, 42);
    lua_rawset(L, -3);
    lua_pop(L, 1);
    ReleaseScriptState();
    ::SetEvent(gate.release.Get());
    EXPECT_EQ(::WaitForSingleObject(thread.Get(), 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeThread(thread.Get(), &code);
    EXPECT_EQ(code, 0u);
    lua_getglobal(L, "seen");
    EXPECT_EQ(lua_tonumber(L, -1), 42);
    g_gate = nullptr;
}

}  // namespace
}  // namespace orv
