// The progress dialog's pacing seen from outside: the pacing product (shipped skin, hooks that only trace,
// no payload) with an install hook that is quick, slow, failing or interrupted, judged by the order of what
// the setup traces.
#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "e2etest.h"
#include "fsutil.h"
#include "regutil.h"
#include "windowprobe.h"

namespace orv {
namespace test {
namespace {

// Places in the shipped layout (client coordinates).
const POINT kInstallButton = {300, 250};
const POINT kFinishCloseButton = {570, 25};
constexpr DWORD kDialogTimeoutMs = 20000;
constexpr DWORD kRunTimeoutMs = 60000;
const wchar_t kScriptErrorCaption[] = L":-( 杯具，脚本执行时发生错误";

// Clicks `at` until `window` has gone: a click that comes before the window's picture has reached the
// screen falls through it.
bool ClickUntilGone(HWND window, POINT at) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!ClickAt(window, at.x, at.y)) return false;
        if (WaitForWindowGone(window, 3000)) return true;
    }
    return false;
}

// The number a trace line carries after `prefix`, or -1 when the line is missing or has no number there.
double NumberAfter(const std::vector<std::wstring>& lines, const std::wstring& prefix) {
    for (const std::wstring& text : TaggedLines(lines)) {
        if (text.compare(0, prefix.size(), prefix) != 0) continue;
        wchar_t* end = nullptr;
        const double value = std::wcstod(text.c_str() + prefix.size(), &end);
        return end == text.c_str() + prefix.size() ? -1 : value;
    }
    return -1;
}

class ProgressPacing : public ::testing::Test {
protected:
    void TearDown() override { RegDeleteTreeAt(HKEY_CURRENT_USER, L"Software\\OrvPacing"); }

    // Starts the product's setup with the install hook `mode` and installs from the options dialog; true
    // once the options dialog has gone.
    bool Install(const wchar_t* mode, bool finishWindow = false, const wchar_t* product = L"pacing") {
        env_.reset();  // the variables as they were before, then this run's
        env_ = std::make_unique<ScopedEnv>(ScopedEnv::Vars{{L"ORVPACE_HOOK", mode},
                                                           {L"ORVPACE_FINISH", finishWindow ? L"1" : L"0"},
                                                           {L"ORVPACE_FOLDER", folder_.Sub(L"OrvPacing")}});
        setup_ = std::make_unique<SetupProcess>();  // a run still going from before is ended first
        if (!setup_->Start(TestSetup(product), {})) return false;
        HWND options = FindTopLevelWindow(setup_->ProcessId(), kInstallerWindowClass, kDialogTimeoutMs);
        return options && MoveMouseTo(options, 5, 200) && ClickUntilGone(options, kInstallButton);
    }

    // The dialog shown now (after Install: the progress dialog), or null.
    HWND Dialog() { return FindTopLevelWindow(setup_->ProcessId(), kInstallerWindowClass, kDialogTimeoutMs); }

    // The next visible dialog once `previous` has gone.
    HWND NextDialog(HWND previous) {
        if (!WaitForWindowGone(previous, kDialogTimeoutMs)) return nullptr;
        return FindTopLevelWindow(setup_->ProcessId(), kInstallerWindowClass, kDialogTimeoutMs);
    }

    std::string Windows() { return setup_ ? DescribeWindows(setup_->ProcessId()) : std::string(); }

    TempDir folder_{L"orvpace"};
    std::unique_ptr<ScopedEnv> env_;
    // Declared last: a setup still running is ended before its folder goes.
    std::unique_ptr<SetupProcess> setup_;
};

TEST_F(ProgressPacing, AQuickHookClosesOnceTheBarHasRunOut) {
    ASSERT_TRUE(Install(L"fast", true)) << Windows();
    HWND progress = Dialog();
    ASSERT_NE(progress, nullptr) << Windows();
    HWND finish = NextDialog(progress);
    ASSERT_NE(finish, nullptr) << Windows();
    ASSERT_TRUE(ClickUntilGone(finish, kFinishCloseButton));
    const SetupResult r = setup_->Finish(kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 1));
    // The period (no payload: 0 ms) is there before the hook starts; the bar is full when the dialog
    // closes, after the hook.
    EXPECT_TRUE(LinesInOrder(r.lines, {L"pace:BeforeInstall", L"pace:OnInstall fast elapse=0",
                                       L"pace:OnInstall end pos=", L"ORVUE::CarouselUIObjectImpl::Stop",
                                       L"pace:BeforeComplete pos=100", L"pace:AfterComplete"}));
    EXPECT_TRUE(HasExactLine(r.lines, L"pace:OnInstall fast elapse=0")) << r.Describe();
}

TEST_F(ProgressPacing, ASlowHookSeesTheBarMoveWhileTheWindowKeepsPainting) {
    ASSERT_TRUE(Install(L"slow")) << Windows();
    const SetupResult r = setup_->Finish(kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 1));
    // Slide changes during the hook: the window was never held up by it.
    EXPECT_TRUE(LinesInOrder(r.lines, {L"pace:OnInstall slow elapse=0", L"ORVUE::CarouselUIObjectImpl::OnTimer",
                                       L"pace:OnInstall end pos=", L"ORVUE::CarouselUIObjectImpl::Stop",
                                       L"pace:BeforeComplete pos=100", L"pace:AfterComplete"}));
    EXPECT_TRUE(HasExactLine(r.lines, L"pace:OnInstall slow elapse=0")) << r.Describe();
    // Written by the window while the hook waited inside its actions.
    EXPECT_GT(NumberAfter(r.lines, L"pace:OnInstall end pos="), 0) << r.Describe();
}

TEST_F(ProgressPacing, ASystemCloseWaitsForTheHookThenStops) {
    ASSERT_TRUE(Install(L"slow", true)) << Windows();
    HWND progress = Dialog();
    ASSERT_NE(progress, nullptr) << Windows();
    ASSERT_TRUE(setup_->WaitForLine(L"pace:OnInstall slow", kDialogTimeoutMs));
    ::PostMessageW(progress, WM_SYSCOMMAND, SC_CLOSE, 0);  // Alt+F4
    ::PostMessageW(progress, WM_CLOSE, 0, 0);
    const SetupResult r = setup_->Finish(kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"pace:OnInstall slow", L"close requested while installing",
                                       L"pace:OnInstall end pos=", L"ORVUE::CarouselUIObjectImpl::Stop",
                                       L"install journal: rollback"}));
    // What the hook changed is undone once it has ended.
    EXPECT_FALSE(DirExists(folder_.Sub(L"OrvPacing")));
    RegKey key;
    EXPECT_EQ(key.Open(HKEY_CURRENT_USER, L"Software\\OrvPacing"), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(LacksLine(r.lines, L"pace:BeforeComplete"));
    EXPECT_TRUE(LacksLine(r.lines, L"pace:AfterComplete"));
}

// A runtime error reaches the error handler, which ends the process; an error in a finaliser fails the
// hook's call past it, and the dialog reports it and stops. Either way the run ends with 0 before the
// finish dialog.
TEST_F(ProgressPacing, AFailingHookShowsItsErrorAndStops) {
    const struct {
        const wchar_t* mode;
        const wchar_t* message;
    } cases[] = {{L"error", L"attempt to index a nil value"}, {L"gcerror", L"finaliser failed"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_TRUE(Install(c.mode, true)) << Windows();
        HWND box = WaitForMessageBox(setup_->ProcessId(), kDialogTimeoutMs);
        MessageBoxContent content;
        ASSERT_TRUE(ReadMessageBox(box, &content)) << Windows();
        EXPECT_EQ(content.caption, kScriptErrorCaption);
        EXPECT_NE(content.text.find(c.message), std::wstring::npos) << ToUtf8(content.text);
        EXPECT_TRUE(DismissMessageBox(box));
        const SetupResult r = setup_->Finish(kRunTimeoutMs);
        EXPECT_TRUE(EndedWith(r, 0));
        EXPECT_TRUE(ContainsLine(r.lines, std::wstring(L"pace:OnInstall ") + c.mode));
        EXPECT_TRUE(LacksLine(r.lines, L"pace:OnInstall end"));
        EXPECT_TRUE(LacksLine(r.lines, L"pace:BeforeComplete"));
        EXPECT_TRUE(LacksLine(r.lines, L"pace:AfterComplete"));
    }
}

// The window's writes of the bar's position must not run the script's finalisers on its own thread.
TEST_F(ProgressPacing, FinalisersRunOnTheScriptsThreadOnly) {
    ASSERT_TRUE(Install(L"finalisers")) << Windows();
    const SetupResult r = setup_->Finish(kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 1));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"pace:OnInstall finalisers", L"pace:OnInstall end pos="}));
    EXPECT_GT(NumberAfter(r.lines, L"pace:OnInstall end pos="), 0) << r.Describe();
    EXPECT_TRUE(LacksLine(r.lines, L"finaliser on the window's thread"));
}

// Another program's end message, close or quit with a code is no end of the installation: the dialog waits
// for its worker, then stops as after a system close.
TEST_F(ProgressPacing, AForgedEndOrCloseWaitsForTheHook) {
    ASSERT_TRUE(Install(L"slow", true)) << Windows();
    HWND progress = Dialog();
    ASSERT_NE(progress, nullptr) << Windows();
    ASSERT_TRUE(setup_->WaitForLine(L"pace:OnInstall slow", kDialogTimeoutMs));
    ::PostMessageW(progress, 0x2B18, 0, 0);  // the worker's end message
    ::PostMessageW(progress, WM_CLOSE, 1, 0);
    ::PostThreadMessageW(::GetWindowThreadProcessId(progress, nullptr), WM_QUIT, 1, 0);
    const SetupResult r = setup_->Finish(kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"pace:OnInstall slow",
                                       L"an end of the installation not from its worker ignored",
                                       L"close requested while installing",
                                       L"a quit message the dialog did not ask for ignored", L"pace:OnInstall end pos="}));
    EXPECT_TRUE(LacksLine(r.lines, L"pace:BeforeComplete"));
}

// os.exit on the worker's thread ends the run with its code, and the script state is not closed under the
// threads that use it: the finaliser of an object still alive never runs.
TEST_F(ProgressPacing, OsExitInTheInstallHookEndsTheRunWithItsCode) {
    ASSERT_TRUE(Install(L"exit")) << Windows();
    const SetupResult r = setup_->Finish(kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 7));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"pace:exit with table:", L"the run ends, exit code 7"}));
    EXPECT_TRUE(LacksLine(r.lines, L"pace:collected at exit"));
}

TEST_F(ProgressPacing, WithoutABarTheEndOfTheHookClosesTheDialog) {
    ASSERT_TRUE(Install(L"fast", false, L"pacing_nobar")) << Windows();
    const SetupResult r = setup_->Finish(kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 1));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"pace:OnInstall fast", L"pace:OnInstall end pos=",
                                       L"ORVUE::CarouselUIObjectImpl::Stop", L"pace:BeforeComplete pos=nil",
                                       L"pace:AfterComplete"}));
}

}  // namespace
}  // namespace test
}  // namespace orv
