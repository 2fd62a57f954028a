// The text of the script error box: message, call stack, request to report; and how an early end ends the run.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "fsutil.h"
#include "luatestutil.h"
#include "orvscriptengine/scripterror.h"
#include "utility/runexit.h"
#include "utility/textconv.h"
#include "utility/uniquehandle.h"

namespace {

// Runs `source` under a message handler that stores the error box text instead of showing it.
std::wstring ErrorText(const std::string& source, const char* chunkName) {
    lua_State* L = EngineState();
    const int top = lua_gettop(L);
    lua_pushcfunction(L, [](lua_State* S) {
        const std::string text = orv::WideToUtf8(orv::BuildScriptErrorText(S));
        lua_pushlstring(S, text.data(), text.size());
        return 1;
    });
    EXPECT_EQ(luaL_loadbuffer(L, source.data(), source.size(), chunkName), LUA_OK);
    EXPECT_NE(lua_pcall(L, 0, 0, top + 1), LUA_OK);
    const std::wstring text = orv::Utf8ToWide(lua_tostring(L, -1));
    lua_settop(L, top);
    return text;
}

const std::wstring kRequest = L"请向我们反馈以上错误信息，以便我们改善产品质量！";

TEST(ScriptError, MessageThenCallStackInnermostFirstThenRequest) {
    const std::wstring text = ErrorText(
        "local function inner()\n"
        "  error('boom')\n"
        "end\n"
        "function outer() inner() end\n"
        "outer()\n",
        "=INSTSCRIPT.LUAC");
    const std::wstring expectedStart = L"INSTSCRIPT.LUAC:2: boom\n      <call stack>\n-> | ";
    ASSERT_EQ(text.substr(0, expectedStart.size()), expectedStart) << text;
    EXPECT_NE(text.find(L"\n--  | inner() : line 2 [=INSTSCRIPT.LUAC : line 1]\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"\n--  | outer() : line 4 [=INSTSCRIPT.LUAC : line 4]\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"\n--  | unknown : line 5 [=INSTSCRIPT.LUAC : line 0]\n"), std::wstring::npos) << text;
    EXPECT_LT(text.find(L"inner()"), text.find(L"outer()"));
    EXPECT_EQ(text.substr(text.size() - kRequest.size()), kRequest);
    EXPECT_EQ(text.find(L"-> | ", expectedStart.size()), std::wstring::npos);  // one innermost frame
}

TEST(ScriptError, TableErrorValueShowsTheMissingStringTextAndStillTheStack) {
    const std::wstring text = ErrorText("error({code = 1})", "=GLOBAL_VAR.LUAC");
    EXPECT_EQ(text.rfind(L"(null)\n      <call stack>\n-> | ", 0), 0u) << text;
    EXPECT_NE(text.find(L"unknown : line 1 [=GLOBAL_VAR.LUAC : line 0]"), std::wstring::npos) << text;
}

TEST(ScriptError, Utf8MessagesFromScriptsAreShownAsWritten) {
    const std::wstring text = ErrorText("error('释放文件时出现错误', 0)", "=INSTSCRIPT.LUAC");
    EXPECT_EQ(text.rfind(L"释放文件时出现错误\n      <call stack>\n", 0), 0u) << orv::WideToUtf8(text);
}

TEST(ScriptError, CallStackOfAnEmptyStackIsEmpty) {
    lua_State* thread = lua_newthread(EngineState());
    std::string buffer = "x\n";
    orv::AppendCallStack(thread, 0, buffer);
    orv::AppendCallStack(thread, -1, buffer);
    EXPECT_EQ(buffer, "x\n");
    lua_pop(EngineState(), 1);
}

// The ending run's child: a callback and a static object each leave a file in ORVTEST_ENDRUN_DIR, then a
// second thread's script calls os.exit while this thread waits for that thread.
std::wstring EndRunFolder() {
    wchar_t folder[MAX_PATH] = L"";
    ::GetEnvironmentVariableW(L"ORVTEST_ENDRUN_DIR", folder, MAX_PATH);
    return folder;
}

struct LeavesAFileWhenDestroyed {
    ~LeavesAFileWhenDestroyed() { orv::test::WriteFileBytes(EndRunFolder() + L"\\destroyed", "x"); }
};

DWORD WINAPI ExitOnThisThread(LPVOID) { return static_cast<DWORD>(luaL_dostring(EngineState(), "os.exit(9)")); }

TEST(EndRunChild, DISABLED_OsExitOnASecondThread) {
    static LeavesAFileWhenDestroyed object;
    orv::OnAbnormalEnd([](int code, void*) {
        orv::test::WriteFileBytes(EndRunFolder() + L"\\callback", std::to_string(code));
    }, nullptr);
    const orv::UniqueHandle thread(::CreateThread(nullptr, 0, ExitOnThisThread, nullptr, 0, nullptr));
    ::WaitForSingleObject(thread.Get(), INFINITE);
}

// os.exit from any thread ends the process with its code after the abnormal-end callbacks, and without
// the static destructors, which would close the script state under the other threads.
TEST(EndRun, OsExitRunsTheCallbacksButNoStaticDestructor) {
    orv::test::TempDir dir;
    ASSERT_TRUE(::SetEnvironmentVariableW(L"ORVTEST_ENDRUN_DIR", dir.Path().c_str()));
    wchar_t self[MAX_PATH] = L"";
    ASSERT_NE(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring commandLine = std::wstring(L"\"") + self +
                               L"\" --gtest_filter=EndRunChild.* --gtest_also_run_disabled_tests";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info;
    ASSERT_TRUE(::CreateProcessW(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    const orv::UniqueHandle process(info.hProcess), thread(info.hThread);
    ASSERT_EQ(::WaitForSingleObject(process.Get(), 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    ASSERT_TRUE(::GetExitCodeProcess(process.Get(), &code));
    EXPECT_EQ(code, 9u);
    std::string written;
    EXPECT_TRUE(orv::test::ReadFileBytes(dir.Sub(L"callback"), &written));
    EXPECT_EQ(written, "9");
    EXPECT_FALSE(orv::test::FileExists(dir.Sub(L"destroyed")));
}

}  // namespace
