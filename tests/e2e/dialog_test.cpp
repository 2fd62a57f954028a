// The sample product's setup run by a person: its three skinned dialogs driven with real mouse and
// keyboard input at the controls' places, and what each choice leads to.
#include <gtest/gtest.h>
#include <windows.h>
#include <gdiplus.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "e2etest.h"
#include "fsutil.h"
#include "resourcecheck.h"
#include "sampleproduct.h"
#include "windowprobe.h"
#include "ui/gdiplussession.h"
#include "utility/orvprocesstoolhelp.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace test {
namespace {

// Places in the shipped layout (client coordinates).
const POINT kCloseButton = {570, 25};
const POINT kInstallButton = {300, 250};
const POINT kLicenceBox = {216, 297};
const POINT kPathBox = {300, 370};
const POINT kUseButton = {300, 397};
constexpr DWORD kDialogTimeoutMs = 20000;

std::wstring SampleSetup() { return ExeDirectory() + L"\\" ORV_SAMPLE_SETUP; }

bool Click(HWND window, POINT at) { return ClickAt(window, at.x, at.y); }

// The next visible dialog of the setup that is not `previous` (which must be gone first).
HWND NextDialog(SetupProcess& setup, HWND previous) {
    if (previous && !WaitForWindowGone(previous, kDialogTimeoutMs)) return nullptr;
    return FindTopLevelWindow(setup.ProcessId(), kInstallerWindowClass, kDialogTimeoutMs);
}

std::vector<DWORD> ProcessesNamed(const wchar_t* name) { return ProcessSnapshot().FindAll(name); }

void EndProcessesNamed(const wchar_t* name) {
    for (DWORD pid : ProcessesNamed(name)) {
        UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, pid));
        if (process) ::TerminateProcess(process.Get(), 0);
    }
}

// Keyboard input as a person types it: each character as a Unicode key press.
void TypeText(const std::wstring& text) {
    for (wchar_t c : text) {
        INPUT keys[2] = {};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wScan = keys[1].ki.wScan = c;
        keys[0].ki.dwFlags = KEYEVENTF_UNICODE;
        keys[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        ::SendInput(2, keys, sizeof(INPUT));
        ::Sleep(10);
    }
}

void PressKey(WORD key, bool withControl = false) {
    std::vector<INPUT> keys;
    auto add = [&](WORD vk, DWORD flags) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = flags;
        keys.push_back(input);
    };
    if (withControl) add(VK_CONTROL, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    if (withControl) add(VK_CONTROL, KEYEVENTF_KEYUP);
    ::SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
    ::Sleep(50);
}

// The skin image's colour (0x00RRGGBB) at a point, read from the sample product's own PNG file.
COLORREF SkinColour(int image, POINT at) {
    if (!ORVUE::EnsureGdiplus()) return CLR_INVALID;
    const std::wstring path = ExeDirectory() + L"\\" ORV_SAMPLE_SKIN L"\\" + std::to_wstring(image) + L".png";
    Gdiplus::Bitmap bitmap(path.c_str());
    Gdiplus::Color pixel;
    if (bitmap.GetLastStatus() != Gdiplus::Ok || bitmap.GetPixel(at.x, at.y, &pixel) != Gdiplus::Ok) return CLR_INVALID;
    return pixel.GetValue() & 0xFFFFFF;
}

// The first PNG that GDI+ decodes makes Wine's image codecs open and keep their class keys.
const bool g_warmUp = (SetResourceCheckWarmUp([] { SkinColour(301, POINT{0, 0}); }), true);

bool NearColour(COLORREF a, COLORREF b) {
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 3) return false;
    }
    return true;
}

// The dialog's background on screen is the skin's: a point where no control draws. A window just shown
// gets its picture at its next repaint.
::testing::AssertionResult ShowsSkin(HWND dialog, int image, POINT at) {
    const COLORREF skin = SkinColour(image, at);
    COLORREF screen = CLR_INVALID;
    for (int i = 0; i < 20; ++i, ::Sleep(100)) {
        screen = ScreenColourAt(dialog, at.x, at.y);
        if (skin != CLR_INVALID && NearColour(screen, skin)) return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << std::hex << "screen " << screen << ", skin " << skin << " at " << std::dec
                                         << at.x << "," << at.y << " of image " << image;
}

// The screen colour at `at` once the window had time to repaint.
COLORREF SettledColour(HWND window, POINT at) {
    ::Sleep(250);
    return ScreenColourAt(window, at.x, at.y);
}

class SampleDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveProductEverywhere();
        EndProcessesNamed(L"Quellby.exe");
        EndProcessesNamed(L"Quellby64.exe");
    }
    void TearDown() override { SetUp(); }
};

TEST_F(SampleDialogs, InstallWithTheDefaultsThroughAllThreeDialogs) {
    SetupProcess setup;
    ASSERT_TRUE(setup.Start(SampleSetup(), {}));
    HWND options = NextDialog(setup, nullptr);
    ASSERT_NE(options, nullptr) << DescribeWindows(setup.ProcessId());
    EXPECT_NE(WindowText(options).find(L"安装"), std::wstring::npos);
    EXPECT_TRUE(ShowsSkin(options, 301, {40, 300}));

    // The install button's frame changes under the pointer.
    MoveMouseTo(options, 5, 200);
    const COLORREF normal = SettledColour(options, kInstallButton);
    MoveMouseTo(options, kInstallButton.x, kInstallButton.y);
    EXPECT_NE(SettledColour(options, kInstallButton), normal);
    ASSERT_TRUE(Click(options, kInstallButton));

    HWND progress = NextDialog(setup, options);
    ASSERT_NE(progress, nullptr) << DescribeWindows(setup.ProcessId());
    EXPECT_TRUE(setup.WaitForLine(L"ORVInstallDlg::OnORVUMSetAnimationTimer", kDialogTimeoutMs));
    EXPECT_TRUE(ShowsSkin(progress, 307, {300, 480}));
    HWND finish = NextDialog(setup, progress);
    ASSERT_NE(finish, nullptr) << DescribeWindows(setup.ProcessId());
    EXPECT_TRUE(ShowsSkin(finish, 313, {40, 450}));
    ASSERT_TRUE(Click(finish, kUseButton));
    const SetupResult r = setup.Finish(kInstallTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 1));

    const std::wstring folder = TracedInstallPath(r);
    EXPECT_EQ(folder, DefaultInstallFolders()[0]);
    EXPECT_TRUE(FileExists(folder + L"\\Quellby.exe"));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"script_version:", L"InstallPath:", L"ORVInstallDlg::OnORVUMSetAnimationTimer",
                                       L"ProcessLauncherExplorerLevel~!"}))
        << r.Describe();
    // Started through the desktop shell: the program runs after the setup has ended.
    bool started = false;
    for (int i = 0; i < 100 && !started; ++i, ::Sleep(100)) started = !ProcessesNamed(L"Quellby.exe").empty();
    EXPECT_TRUE(started);
}

TEST_F(SampleDialogs, AgreementTypedFolderKeysAndLeaving) {
    SetupProcess setup;
    ASSERT_TRUE(setup.Start(SampleSetup(), {}));
    HWND options = NextDialog(setup, nullptr);
    ASSERT_NE(options, nullptr) << DescribeWindows(setup.ProcessId());

    // Enter and Escape close nothing.
    ::PostMessageW(options, WM_COMMAND, IDOK, 0);
    ::PostMessageW(options, WM_COMMAND, IDCANCEL, 0);
    ::Sleep(300);
    EXPECT_TRUE(::IsWindowVisible(options));

    // Without the agreement the install button does nothing.
    ASSERT_TRUE(Click(options, kLicenceBox));
    ASSERT_TRUE(Click(options, kInstallButton));
    ::Sleep(500);
    EXPECT_FALSE(HasLine(setup.Lines(), L"check Name = "));
    ASSERT_TRUE(Click(options, kLicenceBox));

    // A folder typed into the box is what the dialog checks: an unusable one is refused with a box.
    ASSERT_TRUE(Click(options, kPathBox));
    PressKey('A', true);
    TypeText(L"nowhere");
    ASSERT_TRUE(Click(options, kInstallButton));
    HWND box = WaitForMessageBox(setup.ProcessId(), kDialogTimeoutMs);
    MessageBoxContent content;
    ASSERT_TRUE(ReadMessageBox(box, &content)) << DescribeWindows(setup.ProcessId());
    EXPECT_EQ(content.text, L"安装路径非法，请重新修改！");
    EXPECT_EQ(content.caption, L"错误");
    EXPECT_TRUE(DismissMessageBox(box));
    EXPECT_TRUE(HasLine(setup.Lines(), L"check Name = LicenceChk"));
    ::Sleep(300);  // the dialog takes input again once the box's modal loop has ended
    MoveMouseTo(options, 5, 200);

    // The close button asks; Cancel keeps the dialog, OK leaves without installing.
    ASSERT_TRUE(Click(options, kCloseButton));
    box = WaitForMessageBox(setup.ProcessId(), kDialogTimeoutMs);
    ASSERT_TRUE(ReadMessageBox(box, &content));
    EXPECT_EQ(content.text, L"您确定要退出安装程序？");
    EXPECT_TRUE(AnswerMessageBox(box, IDCANCEL));
    ::Sleep(300);  // as above
    EXPECT_TRUE(::IsWindowVisible(options));
    MoveMouseTo(options, 5, 200);
    ASSERT_TRUE(Click(options, kCloseButton));
    box = WaitForMessageBox(setup.ProcessId(), kDialogTimeoutMs);
    ASSERT_NE(box, nullptr) << DescribeWindows(setup.ProcessId());
    EXPECT_TRUE(AnswerMessageBox(box, IDOK));
    const SetupResult r = setup.Finish(kDialogTimeoutMs);
    EXPECT_TRUE(EndedWith(r, 0));
    EXPECT_FALSE(HasLine(r.lines, L"InstallPath:")) << r.Describe();
}

// Any program may send the dialog our messages: requests that name no object of its tree are ignored, and
// a close posted by another program carries no code, not even while the leave question is open.
TEST_F(SampleDialogs, ForeignMessagesNameNoObjectAndCloseWithoutACode) {
    SetupProcess setup;
    ASSERT_TRUE(setup.Start(SampleSetup(), {}));
    HWND options = NextDialog(setup, nullptr);
    ASSERT_NE(options, nullptr) << DescribeWindows(setup.ProcessId());
    const LPARAM bogus = 0x5EED1230;
    for (UINT msg : {0x2B11u, 0x2B13u, 0x2B16u, WM_USER + 100u}) {  // capture, focus, a timer, the leave action
        DWORD_PTR result = 0;
        EXPECT_TRUE(::SendMessageTimeoutW(options, msg, MAKELONG(1, 10), bogus, SMTO_ABORTIFHUNG, 3000, &result))
            << std::hex << msg;
    }
    // What would reach the objects named: a key for the focus, the pointer for the capture, the timer.
    ::PostMessageW(options, WM_KEYDOWN, 'A', 0);
    ::PostMessageW(options, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    ::Sleep(500);
    EXPECT_TRUE(::IsWindowVisible(options));
    for (const wchar_t* line : {L"request 0x2B11 ignored", L"request 0x2B13 ignored", L"timer request 0x2B16 ignored",
                                L"message 0x0464 ignored"}) {
        EXPECT_TRUE(HasLine(setup.Lines(), line)) << ToUtf8(line);
    }

    MoveMouseTo(options, 5, 200);
    ASSERT_TRUE(Click(options, kCloseButton));
    ASSERT_NE(WaitForMessageBox(setup.ProcessId(), kDialogTimeoutMs), nullptr) << DescribeWindows(setup.ProcessId());
    ::PostMessageW(options, WM_CLOSE, 1, 0);
    const SetupResult r = setup.Finish(kDialogTimeoutMs);
    EXPECT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(ContainsLine(r.lines, L"the dialog was closed while its question was open"));
    EXPECT_TRUE(LacksLine(r.lines, L"InstallPath:"));
}

TEST_F(SampleDialogs, SecondSetupAndSystemClose) {
    SetupProcess first;
    ASSERT_TRUE(first.Start(SampleSetup(), {}));
    HWND options = NextDialog(first, nullptr);
    ASSERT_NE(options, nullptr) << DescribeWindows(first.ProcessId());
    const SetupResult second = RunSetup(SampleSetup(), {}, kDialogTimeoutMs);
    EXPECT_TRUE(EndedWith(second, 0));
    EXPECT_TRUE(HasLine(second.lines, L"CreateAppInstance return true")) << second.Describe();

    // Alt+F4: the system's close, without the question.
    ::PostMessageW(options, WM_SYSCOMMAND, SC_CLOSE, 0);
    const SetupResult r = first.Finish(kDialogTimeoutMs);
    EXPECT_TRUE(EndedWith(r, 0));
    EXPECT_FALSE(HasLine(r.lines, L"InstallPath:"));
}

}  // namespace
}  // namespace test
}  // namespace orv
