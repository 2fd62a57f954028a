// The text of the script error box: message, call stack, request to report.
#include <gtest/gtest.h>

#include "luatestutil.h"
#include "orvscriptengine/scripterror.h"
#include "utility/textconv.h"

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

}  // namespace
