// The run sequence end to end: hook order, silent and finish decisions, layout, chunks, exit codes.
#include <gtest/gtest.h>

#include "e2etest.h"

namespace orv {
namespace test {
namespace {

SetupResult RunProduct(const std::wstring& product, std::initializer_list<std::pair<std::wstring, std::wstring>> vars) {
    ScopedEnv env(vars);
    return RunSetup(TestSetup(product), {}, kRunTimeoutMs);
}

TEST(RunSequence, SilentWithoutFinishWindowCallsEveryHookAndSkipsTheLayout) {
    const SetupResult r = RunProduct(L"damaged_layout", {{L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_FINISH", L"0"},
                                                 {L"ORVTEST_MUTEX", UniqueMutexName(L"silent")}});
    ASSERT_TRUE(EndedWith(r, 1));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"hook:ORVSE_BeforeInit", L"global_ss_install==true ~!",
                                       L"Completewindow==false ~!", L"start ss install!",
                                       L"hook:ORVSE_BeforeInstall", L"InstallPath=C:\\OrvTest",
                                       L"hook:ORVSE_OnInstall", L"hook:ORVSE_BeforeComplete",
                                       L"node <Dlg name=\"CompleteDlg\"> is hide!", L"hook:ORVSE_AfterComplete"}));
    EXPECT_TRUE(LacksLine(r.lines, L"SSInstall ~!"));
    EXPECT_TRUE(LacksLine(r.lines, L"Load_buffer failed"));  // the damaged layout was never read
    EXPECT_EQ(CountLines(r.lines, L"hook:"), 5);
    // Line ends are part of the messages: some carry their own, some none.
    EXPECT_TRUE(HasRawLine(r.lines, L"qz global_ss_install==true ~!\r\n"));
    EXPECT_TRUE(HasRawLine(r.lines, L"qz Completewindow==false ~!\r\n"));
    EXPECT_TRUE(HasRawLine(r.lines, L"qz start ss install!"));
    EXPECT_TRUE(HasRawLine(r.lines, L"qz node <Dlg name=\"CompleteDlg\"> is hide!"));
}

TEST(RunSequence, SilentWithFinishWindowReadsTheLayoutButNeverShowsTheWindow) {
    const SetupResult r = RunProduct(L"base", {{L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_FINISH", L"1"},
                                       {L"ORVTEST_MUTEX", UniqueMutexName(L"silentfinish")}});
    ASSERT_TRUE(EndedWith(r, 1));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"hook:ORVSE_BeforeInit", L"global_ss_install==true ~!",
                                       L"Completewindow==true ~!", L"SSInstall ~!", L"Completewindow ~!",
                                       L"start ss install!", L"hook:ORVSE_BeforeInstall", L"hook:ORVSE_OnInstall",
                                       L"hook:ORVSE_BeforeComplete", L"node <Dlg name=\"CompleteDlg\"> is hide!",
                                       L"hook:ORVSE_AfterComplete"}));
    EXPECT_TRUE(HasRawLine(r.lines, L"qz SSInstall ~!\r\n"));
    EXPECT_TRUE(HasRawLine(r.lines, L"qz Completewindow ~!"));
}

// The interactive run decides and reads the layout first; a system close of the options dialog ends it
// with 0 before anything is installed.
TEST(RunSequence, InteractiveRunShowsTheOptionsDialogAndItsCloseEndsTheRun) {
    ScopedEnv env({{L"ORVTEST_MUTEX", UniqueMutexName(L"interactive")}});
    bool shown = false;
    const SetupResult r = RunAndCloseTheFirstDialog(TestSetup(L"base"), &shown);
    EXPECT_TRUE(shown);
    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"hook:ORVSE_BeforeInit", L"Completewindow==true ~!",
                                       L"Completewindow ~!"}));
    EXPECT_TRUE(LacksLine(r.lines, L"Load_buffer failed"));
    EXPECT_TRUE(LacksLine(r.lines, L"global_ss_install==true"));
    EXPECT_TRUE(LacksLine(r.lines, L"hook:ORVSE_BeforeInstall"));
    EXPECT_TRUE(LacksLine(r.lines, L"hook:ORVSE_AfterComplete"));
}

TEST(RunSequence, AHookWhoseCallFailsEndsTheRunWithZero) {
    const SetupResult r = RunProduct(L"base", {{L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_FINISH", L"0"},
                                       {L"ORVTEST_GC_ERROR", L"1"}, {L"ORVTEST_MUTEX", UniqueMutexName(L"gcerror")}});
    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"hook:ORVSE_OnInstall", L"ORVSE_OnInstall failed: error in __gc metamethod"}));
    EXPECT_TRUE(LacksLine(r.lines, L"hook:ORVSE_BeforeComplete"));
    EXPECT_TRUE(LacksLine(r.lines, L"hook:ORVSE_AfterComplete"));
}

// Scripts read the command line themselves, split as the system splits it.
TEST(RunSequence, ScriptsSeeTheCommandLineWords) {
    ScopedEnv env({{L"ORVTEST_ARGV", L"1"}, {L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_FINISH", L"0"},
                   {L"ORVTEST_MUTEX", UniqueMutexName(L"argv")}});
    const SetupResult r = RunSetup(TestSetup(), {L"/S", L"D:\\奎比 安装", L"tail\\"}, kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 1));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"argv[2]=/S", L"argv[3]=D:\\奎比 安装", L"argv[4]=tail\\"}));
    EXPECT_TRUE(LacksLine(r.lines, L"argv[5]"));
}

TEST(RunSequence, SilentRequestIsIgnoredWhileSilentInstallIsNotEnabled) {
    ScopedEnv env({{L"ORVTEST_SS_WITHOUT_ENABLE", L"1"}, {L"ORVTEST_FINISH", L"0"},
                   {L"ORVTEST_MUTEX", UniqueMutexName(L"ssnoenable")}});
    bool shown = false;
    const SetupResult r = RunAndCloseTheFirstDialog(TestSetup(L"base"), &shown);
    EXPECT_TRUE(shown);  // the dialogs instead
    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(LacksLine(r.lines, L"global_ss_install==true"));
    EXPECT_TRUE(LacksLine(r.lines, L"start ss install!"));
    EXPECT_TRUE(ContainsLine(r.lines, L"Completewindow==false ~!"));
}

TEST(RunSequence, DamagedLayoutStopsInteractiveAndShowFinishRunsBeforeInstalling) {
    for (const wchar_t* silent : {L"0", L"1"}) {
        const SetupResult r = RunProduct(L"damaged_layout", {{L"ORVTEST_SILENT", silent}, {L"ORVTEST_FINISH", L"1"},
                                                     {L"ORVTEST_MUTEX", UniqueMutexName(L"damaged")}});
        ASSERT_TRUE(EndedWith(r, 0));
        EXPECT_TRUE(ContainsLine(r.lines, L"Load_buffer failed, ")) << "silent=" << (silent[0] == L'1');
        EXPECT_TRUE(LacksLine(r.lines, L"start ss install!"));
        EXPECT_TRUE(LacksLine(r.lines, L"hook:ORVSE_BeforeInstall"));
    }
}

TEST(RunSequence, MissingLayoutWritesTheFailureTrailer) {
    const SetupResult r = RunProduct(L"missing_layout", {{L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_FINISH", L"1"},
                                                 {L"ORVTEST_MUTEX", UniqueMutexName(L"nolayout")}});
    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"LoadResource failed. type : XML, id : LAYOUT.XMLqz file:orvinstaller",
                                       L"LoadResource failed. type : XML, id : LAYOUT.XMLqz line:",
                                       L"LoadResource failed. type : XML, id : LAYOUT.XMLqz err:"}));
    EXPECT_TRUE(LacksLine(r.lines, L"hook:ORVSE_BeforeInstall"));
}

TEST(RunSequence, ChunksThatFailToLoadEndTheRunWithZero) {
    struct Case {
        const wchar_t* product;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {L"missing_global", {L"LoadResource failed. Type : LUA ID : GLOBAL_VAR.LUAC", L"qz file:",
                             L"DoResLua failed, GLOBAL_VAR.LUAC"}},
        {L"missing_inst", {L"LoadResource failed. Type : LUA ID : INSTSCRIPT.LUAC",
                           L"DoResLua failed, INSTSCRIPT.LUAC"}},
        {L"corrupt_global", {L"GLOBAL_VAR.LUAC: truncated precompiled chunk", L"luaL_loadbuffer failed!",
                             L"DoResLua failed, GLOBAL_VAR.LUAC"}},
        {L"foreign_inst", {L"INSTSCRIPT.LUAC: incompatible precompiled chunk", L"luaL_loadbuffer failed!",
                           L"DoResLua failed, INSTSCRIPT.LUAC"}},
    };
    for (const Case& c : cases) {
        const SetupResult r = RunProduct(c.product, {{L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_MUTEX", UniqueMutexName(c.product)}});
        ASSERT_TRUE(EndedWith(r, 0));
        for (const std::wstring& line : c.expected) EXPECT_TRUE(ContainsLine(r.lines, line));
        EXPECT_TRUE(LacksLine(r.lines, L"szObjectName"));  // nothing after the chunks ran
        EXPECT_TRUE(LacksLine(r.lines, L"hook:"));
    }
}

TEST(RunSequence, LogoutWritesNumbersAndNilAsText) {
    const SetupResult r = RunProduct(L"base", {{L"ORVTEST_LOGOUT", L"1"}, {L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_FINISH", L"0"},
                                       {L"ORVTEST_MUTEX", UniqueMutexName(L"logout")}});
    ASSERT_TRUE(r.Completed()) << r.Describe();
    const int five = IndexOf(r.lines, L"hook:ORVSE_BeforeInit");
    ASSERT_GE(five, 0);
    ASSERT_GT(r.lines.size(), static_cast<size_t>(five + 4));
    EXPECT_EQ(r.lines[five + 1], L"qz 5");
    EXPECT_EQ(r.lines[five + 2], L"qz ");
    EXPECT_EQ(r.lines[five + 3], L"qz 2.5");
    EXPECT_EQ(r.lines[five + 4], L"qz 中文日志");  // the prefix runs in code page 936
}

}  // namespace
}  // namespace test
}  // namespace orv
