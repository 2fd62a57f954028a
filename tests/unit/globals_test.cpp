// Globals as the application reads and writes them, and the action argument conventions.
#include <gtest/gtest.h>

#include "luatestutil.h"
#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/scriptglobals.h"
#include "tracecapture.h"
#include "utility/textconv.h"

namespace {

TEST(Globals, TextFlagAndIntegerConversions) {
    ASSERT_EQ(RunScript("g_num = 5; g_real = 1.5; g_str = '中文 text'; g_true = true; g_false = false;"
                        " g_table = {}; g_zero = 0; g_empty = ''; g_numstr = '42'; g_word = 'abc'"),
              1);
    lua_State* L = EngineState();
    const int top = lua_gettop(L);
    EXPECT_EQ(orv::GetGlobalText(L, "g_num"), L"5");
    EXPECT_EQ(orv::GetGlobalText(L, "g_real"), L"1.5");
    EXPECT_EQ(orv::GetGlobalText(L, "g_str"), L"中文 text");
    EXPECT_EQ(orv::GetGlobalText(L, "g_true"), L"");
    EXPECT_EQ(orv::GetGlobalText(L, "g_table"), L"");
    EXPECT_EQ(orv::GetGlobalText(L, "g_unset"), L"");

    EXPECT_TRUE(orv::GetGlobalFlag(L, "g_zero"));
    EXPECT_TRUE(orv::GetGlobalFlag(L, "g_empty"));
    EXPECT_TRUE(orv::GetGlobalFlag(L, "g_table"));
    EXPECT_FALSE(orv::GetGlobalFlag(L, "g_false"));
    EXPECT_FALSE(orv::GetGlobalFlag(L, "g_unset"));

    EXPECT_EQ(orv::GetGlobalInteger(L, "g_num"), 5);
    EXPECT_EQ(orv::GetGlobalInteger(L, "g_numstr"), 42);
    EXPECT_EQ(orv::GetGlobalInteger(L, "g_word"), 0);
    EXPECT_EQ(orv::GetGlobalInteger(L, "g_true"), 0);
    EXPECT_EQ(orv::GetGlobalInteger(L, "g_unset"), 0);
    EXPECT_EQ(lua_gettop(L), top);
}

// Lua's own integer is 64 bits wide in the x86_64 build: the 32-bit conversion must not follow it.
TEST(Globals, IntegersRoundAndWrapAt32BitsOnEveryTarget) {
    ASSERT_EQ(RunScript("i_half = 2.5; i_up = 3.7; i_down = -3.7; i_wrap = 4294967301; i_sign = 2147483648;"
                        " i_str = '4294967295'"),
              1);
    lua_State* L = EngineState();
    EXPECT_EQ(orv::GetGlobalInteger(L, "i_half"), 2);  // to the nearest even
    EXPECT_EQ(orv::GetGlobalInteger(L, "i_up"), 4);
    EXPECT_EQ(orv::GetGlobalInteger(L, "i_down"), -4);
    EXPECT_EQ(orv::GetGlobalInteger(L, "i_wrap"), 5);
    EXPECT_EQ(orv::GetGlobalInteger(L, "i_sign"), INT32_MIN);
    EXPECT_EQ(orv::GetGlobalInteger(L, "i_str"), -1);
    lua_getglobal(L, "i_str");
    EXPECT_EQ(orv::ToUInt32(L, -1), 4294967295u);
    lua_pop(L, 1);
}

TEST(Globals, WrittenTextIsUtf8OnTheScriptSide) {
    lua_State* L = EngineState();
    orv::SetGlobalText(L, "InstallPath", L"C:\\Program Files\\奎比");
    ASSERT_EQ(RunScript("path_bytes = #InstallPath; path_ok = InstallPath == 'C:\\\\Program Files\\\\奎比'"), 1);
    EXPECT_TRUE(orv::GetGlobalFlag(L, "path_ok"));
    EXPECT_EQ(orv::GetGlobalInteger(L, "path_bytes"), 17 + 6);  // two Chinese characters are six bytes
}

int ReadArgs(lua_State* L) {
    orv::PushText(L, orv::ArgText(L, 1) + L"|" + orv::ArgText(L, 2) + L"|" + orv::ArgText(L, 5));
    lua_pushboolean(L, orv::ArgFlag(L, 3));
    lua_pushinteger(L, orv::ArgInteger(L, 4) + orv::ArgInteger(L, 6));
    return 3;
}

TEST(ActionArgs, AbsentArgumentsReadAsEmptyFalseAndZero) {
    lua_register(EngineState(), "ORVTEST_ReadArgs", ReadArgs);
    ASSERT_EQ(RunScript("a1, a2, a3 = ORVTEST_ReadArgs('文', 12, 0, '7', {})\n"
                        "b1, b2, b3 = ORVTEST_ReadArgs()"),
              1);
    lua_State* L = EngineState();
    EXPECT_EQ(orv::GetGlobalText(L, "a1"), L"文|12|");
    EXPECT_TRUE(orv::GetGlobalFlag(L, "a2"));
    EXPECT_EQ(orv::GetGlobalInteger(L, "a3"), 7);
    EXPECT_EQ(orv::GetGlobalText(L, "b1"), L"||");
    EXPECT_FALSE(orv::GetGlobalFlag(L, "b2"));
    EXPECT_EQ(orv::GetGlobalInteger(L, "b3"), 0);
}

int ReadPath(lua_State* L) {
    std::wstring path;
    lua_pushboolean(L, orv::ArgPath(L, 1, path));
    orv::PushText(L, path);
    return 2;
}

TEST(ActionArgs, PathsAreExpandedAndAnEmbeddedNulIsRefusedNotCut) {
    lua_State* L = EngineState();
    lua_register(L, "ORVTEST_Path", ReadPath);
    ::SetEnvironmentVariableW(L"ORVTEST_ROOT", L"C:\\根");
    TraceCapture capture;
    ASSERT_EQ(RunScript("p1_ok, p1 = ORVTEST_Path('%ORVTEST_ROOT%\\\\a.txt')\n"
                        "p2_ok, p2 = ORVTEST_Path('C:\\\\safe.txt\\0\\\\..\\\\evil.txt')\n"
                        "p3_ok, p3 = ORVTEST_Path(string.rep('x', 300))"),
              1);
    ::SetEnvironmentVariableW(L"ORVTEST_ROOT", nullptr);
    EXPECT_TRUE(orv::GetGlobalFlag(L, "p1_ok"));
    EXPECT_EQ(orv::GetGlobalText(L, "p1"), L"C:\\根\\a.txt");
    EXPECT_FALSE(orv::GetGlobalFlag(L, "p2_ok"));
    EXPECT_EQ(orv::GetGlobalText(L, "p2"), L"");
    EXPECT_FALSE(orv::GetGlobalFlag(L, "p3_ok"));
    const auto& lines = TraceCapture::Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"qz Fun:ORVTEST_Path, Description:argument 1 holds a NUL character, refused\r\n");
    EXPECT_EQ(lines[1].rfind(L"qz Fun:ORVTEST_Path, Description:xxx", 0), 0u);
}

// A script saved in a legacy encoding: the text still converts, and the trace names where it was read.
TEST(ActionArgs, TextThatIsNotUtf8ConvertsWithReplacementAndIsTraced) {
    TraceCapture capture;
    ASSERT_EQ(RunScript("Lua_Logout('caf\\233!') not_utf8 = '\\196\\227'"), 1);
    const auto& lines = TraceCapture::Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"qz Lua_Logout: script text is not UTF-8, its invalid bytes became U+FFFD\r\n");
    EXPECT_EQ(lines[1], L"qz caf\xFFFD!");
    TraceCapture::Lines().clear();
    EXPECT_EQ(orv::GetGlobalText(EngineState(), "not_utf8"), L"\xFFFD\xFFFD");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], L"qz not_utf8: script text is not UTF-8, its invalid bytes became U+FFFD\r\n");
    // Each ill-formed part is one U+FFFD; whatever is valid around it stays, characters beyond the BMP too.
    const char mixed[] = "\xFF\xF0\x9F\x98\x80\xE0\x80z\xED\xA0\x80\xE4\xB8";
    EXPECT_EQ(orv::Utf8ToWideReplacing(mixed, sizeof(mixed) - 1),
              L"\xFFFD\xD83D\xDE00\xFFFD\xFFFDz\xFFFD\xFFFD\xFFFD\xFFFD");
}

TEST(Logout, WritesOneLineOfTheArgumentsText) {
    TraceCapture capture;
    ASSERT_EQ(RunScript("Lua_Logout('安装 started'); Lua_Logout(5); Lua_Logout(1.5); Lua_Logout(nil);"
                        " Lua_Logout(); Lua_Logout('100%d %s')"),
              1);
    const std::vector<std::wstring> expected = {L"qz 安装 started", L"qz 5", L"qz 1.5", L"qz ", L"qz ",
                                                L"qz 100%d %s"};
    EXPECT_EQ(TraceCapture::Lines(), expected);
}

}  // namespace
