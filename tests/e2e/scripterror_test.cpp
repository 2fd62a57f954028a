// A script error in a hook: the error box with the call stack, then the end of the process with 0.
#include <gtest/gtest.h>

#include "e2etest.h"
#include "windowprobe.h"

namespace orv {
namespace test {
namespace {

const std::wstring kCaption = L":-( 杯具，脚本执行时发生错误";
const std::wstring kRequest = L"请向我们反馈以上错误信息，以便我们改善产品质量！";

MessageBoxContent ErrorBoxOf(const wchar_t* kind, SetupResult* result) {
    ScopedEnv env({{L"ORVTEST_ERROR", kind}, {L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_MUTEX", UniqueMutexName(kind)},
                   {L"ORVTEST_STRICT", std::wstring(kind) == L"strict" ? L"1" : L""}});
    SetupProcess setup;
    MessageBoxContent content;
    EXPECT_TRUE(setup.Start(TestSetup(), {}));
    HWND box = WaitForMessageBox(setup.ProcessId(), kRunTimeoutMs);
    EXPECT_NE(box, nullptr) << DescribeWindows(setup.ProcessId());
    if (box) {
        EXPECT_TRUE(ReadMessageBox(box, &content));
        EXPECT_TRUE(DismissMessageBox(box));
    }
    *result = setup.Finish(kRunTimeoutMs);
    return content;
}

TEST(ScriptError, ErrorInBeforeInitShowsMessageAndCallStackThenEndsWithZero) {
    SetupResult r;
    const MessageBoxContent box = ErrorBoxOf(L"string", &r);
    EXPECT_EQ(box.caption, kCaption);
    // The shipped chunks carry no line information, so Lua adds no position to the message.
    const std::wstring start = L"bad thing in BeforeInit\n      <call stack>\n-> | ";
    EXPECT_EQ(box.text.substr(0, start.size()), start) << ToUtf8(box.text);
    EXPECT_NE(box.text.find(L"\n--  | error() : line -1 [=[C] : line -1]\n"), std::wstring::npos)
        << ToUtf8(box.text);
    EXPECT_NE(box.text.find(L"\n--  | unknown : line "), std::wstring::npos) << ToUtf8(box.text);
    ASSERT_GE(box.text.size(), kRequest.size());
    EXPECT_EQ(box.text.substr(box.text.size() - kRequest.size()), kRequest);
    ASSERT_EQ(box.buttons.size(), 1u);
    EXPECT_EQ(box.buttons[0].id, IDOK);

    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(ContainsLine(r.lines, L"the run ends, exit code 0"));
    EXPECT_TRUE(ContainsLine(r.lines, L"hook:ORVSE_BeforeInit"));
    EXPECT_TRUE(LacksLine(r.lines, L"global_ss_install==true"));  // nothing after the failing hook
    EXPECT_TRUE(LacksLine(r.lines, L"hook:ORVSE_BeforeInstall"));
}

TEST(ScriptError, TableErrorValueShowsTheMissingStringText) {
    SetupResult r;
    const MessageBoxContent box = ErrorBoxOf(L"table", &r);
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.text.rfind(L"(null)\n      <call stack>\n-> | ", 0), 0u) << ToUtf8(box.text);
    ASSERT_TRUE(EndedWith(r, 0));
}

// The run sequence reads globals itself; an error raised there is a script error like any other.
TEST(ScriptError, StrictGlobalsInTheConfigurationGiveTheBoxNotACrash) {
    SetupResult r;
    const MessageBoxContent box = ErrorBoxOf(L"strict", &r);
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.text.rfind(L"undeclared global global_show_completewindow\n      <call stack>\n-> | ", 0), 0u)
        << ToUtf8(box.text);
    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(ContainsLine(r.lines, L"hook:ORVSE_BeforeInit"));
    EXPECT_TRUE(LacksLine(r.lines, L"Completewindow"));
}

}  // namespace
}  // namespace test
}  // namespace orv
