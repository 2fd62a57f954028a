// A single running instance: mutex names, the second start, bringing the first window forward.
#include <gtest/gtest.h>

#include "e2etest.h"
#include "fsutil.h"
#include "windowprobe.h"

namespace orv {
namespace test {
namespace {

const std::wstring kDefaultName = L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}";

// A window of the setup's dialog class, owned by the test, as a first instance would show it.
class InstallerWindow {
public:
    InstallerWindow() {
        WNDCLASSW cls = {};
        cls.lpfnWndProc = ::DefWindowProcW;
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.lpszClassName = kInstallerWindowClass;
        ::RegisterClassW(&cls);
        hwnd_ = ::CreateWindowExW(0, kInstallerWindowClass, L"first", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                                  100, nullptr, nullptr, cls.hInstance, nullptr);
    }
    ~InstallerWindow() {
        if (hwnd_) ::DestroyWindow(hwnd_);
    }
    InstallerWindow(const InstallerWindow&) = delete;
    InstallerWindow& operator=(const InstallerWindow&) = delete;
    HWND Get() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

void PumpMessages(DWORD ms) {
    const DWORD end = ::GetTickCount() + ms;
    while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::Sleep(10);
    }
}

TEST(Instance, MutexNameFollowsTheConfiguration) {
    struct Case {
        ScopedEnv::Vars env;
        std::wstring expected;
    };
    const std::wstring custom = UniqueMutexName(L"custom");
    const Case cases[] = {
        {{{L"ORVTEST_APP_ID", L"22"}}, kDefaultName + L"22"},
        {{{L"ORVTEST_APP_ID", L"0"}}, kDefaultName},
        {{{L"ORVTEST_MUTEX", custom}, {L"ORVTEST_APP_ID", L"22"}}, custom},
        {{{L"ORVTEST_MUTEX", L""}, {L"ORVTEST_APP_ID", L"5"}}, kDefaultName + L"5"},
    };
    for (const Case& c : cases) {
        ScopedEnv silent({{L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_FINISH", L"0"}});
        ScopedEnv env(c.env);
        const SetupResult r = RunSetup(TestSetup(), {}, kRunTimeoutMs);
        ASSERT_TRUE(EndedWith(r, 1));
        EXPECT_TRUE(HasExactLine(r.lines, L" szObjectName = " + c.expected + L" ")) << r.Describe();
    }
}

TEST(Instance, NameThatDoesNotFitEndsTheRun) {
    ScopedEnv env({{L"ORVTEST_MUTEX", std::wstring(258, L'm')}, {L"ORVTEST_APP_ID", L"22"}, {L"ORVTEST_SILENT", L"1"}});
    const SetupResult r = RunSetup(TestSetup(), {}, kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 1));

    ScopedEnv longer({{L"ORVTEST_MUTEX", std::wstring(260, L'm')}});
    const SetupResult r2 = RunSetup(TestSetup(), {}, kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r2, 0));
    EXPECT_TRUE(ContainsLine(r2.lines, L"mutex name too long: 260 units, at most 259"));
    EXPECT_TRUE(LacksLine(r2.lines, L"hook:"));
}

TEST(Instance, SecondStartWhileTheFirstRunsSilentlyExitsWithZero) {
    TempDir dir;
    const std::wstring hold = dir.Path() + L"\\hold";
    ASSERT_TRUE(WriteFileBytes(hold, "x"));
    ScopedEnv env({{L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_FINISH", L"0"}, {L"ORVTEST_HOLD_FILE", hold},
                   {L"ORVTEST_MUTEX", UniqueMutexName(L"second")}});
    SetupProcess first;
    ASSERT_TRUE(first.Start(TestSetup(), {}));
    ASSERT_TRUE(first.WaitForLine(L"hook:ORVSE_OnInstall", kRunTimeoutMs));

    const SetupResult second = RunSetup(TestSetup(), {}, kRunTimeoutMs);
    // The first instance keeps opening the file: retry until the delete gets through.
    for (int i = 0; i < 500 && !::DeleteFileW(hold.c_str()); ++i) ::Sleep(10);
    ASSERT_TRUE(EndedWith(second, 0));
    EXPECT_TRUE(LinesInOrder(second.lines, {L"szObjectName", L"CreateAppInstance return true"}));
    EXPECT_TRUE(LacksLine(second.lines, L"hook:"));  // both chunks ran, no hook did

    const SetupResult r = first.Finish(kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 1));
}

TEST(Instance, SecondStartBringsTheFirstInstancesWindowForward) {
    const std::wstring name = UniqueMutexName(L"forward");
    UniqueHandle held(::CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(held.Valid());
    InstallerWindow first;
    ASSERT_NE(first.Get(), nullptr);
    HWND other = ::CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 10, 200, 100, nullptr,
                                   nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    ::SetForegroundWindow(other);
    PumpMessages(300);
    ASSERT_NE(ForegroundWindow(), first.Get());

    ScopedEnv env({{L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_MUTEX", name}});
    SetupProcess second;
    ASSERT_TRUE(second.Start(TestSetup(), {}));
    SetupResult r;
    const DWORD end = ::GetTickCount() + kRunTimeoutMs;
    while (!second.Run().Wait(20, nullptr) && static_cast<LONG>(end - ::GetTickCount()) > 0) PumpMessages(20);
    r = second.Finish(kRunTimeoutMs);
    PumpMessages(300);
    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(ContainsLine(r.lines, L"CreateAppInstance return true"));
    EXPECT_EQ(ForegroundWindow(), first.Get());
    ::DestroyWindow(other);
}

}  // namespace
}  // namespace test
}  // namespace orv
