#include "windowprobe.h"

#include <cstdio>

#include "debugrun.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace test {
namespace {

constexpr DWORD kPollMs = 20;
constexpr UINT kSendTimeoutMs = 3000;

struct EnumState {
    DWORD pid;
    std::vector<WindowInfo>* out;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM param) {
    auto* st = reinterpret_cast<EnumState*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == st->pid) {
        WindowInfo info;
        info.hwnd = hwnd;
        info.className = WindowClass(hwnd);
        info.title = WindowText(hwnd);
        info.visible = ::IsWindowVisible(hwnd) != FALSE;
        st->out->push_back(std::move(info));
    }
    return TRUE;
}

BOOL CALLBACK CollectButtons(HWND child, LPARAM param) {
    auto* out = reinterpret_cast<std::vector<DialogButton>*>(param);
    if (WindowClass(child) == L"Button") out->push_back(DialogButton{::GetDlgCtrlID(child), WindowText(child)});
    return TRUE;
}

bool IsDialogButton(HWND button, HWND dialog) {
    return button && ::GetParent(button) == dialog && WindowClass(button) == L"Button";
}

}  // namespace

std::wstring WindowClass(HWND hwnd) {
    wchar_t buf[256];
    int n = hwnd ? ::GetClassNameW(hwnd, buf, 256) : 0;
    return n > 0 ? std::wstring(buf, static_cast<size_t>(n)) : std::wstring();
}

std::wstring WindowText(HWND hwnd) {
    if (!hwnd || !::IsWindow(hwnd)) return {};
    int len = ::GetWindowTextLengthW(hwnd);
    if (len > 0) {
        std::wstring s(static_cast<size_t>(len) + 1, L'\0');
        int n = ::GetWindowTextW(hwnd, &s[0], len + 1);
        if (n > 0) {
            s.resize(static_cast<size_t>(n));
            return s;
        }
    }
    // Controls of another process whose text is not kept by the system: ask the control itself.
    DWORD_PTR got = 0;
    wchar_t buf[4096];
    buf[0] = L'\0';
    if (::SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                              &got) &&
        got > 0 && got < 4096) {
        return std::wstring(buf, static_cast<size_t>(got));
    }
    return {};
}

DWORD WindowProcessId(HWND hwnd) {
    DWORD pid = 0;
    if (hwnd) ::GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

std::vector<WindowInfo> TopLevelWindows(DWORD pid) {
    std::vector<WindowInfo> out;
    if (pid == 0) return out;
    EnumState st{pid, &out};
    ::EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&st));
    return out;
}

std::string DescribeWindows(DWORD pid) {
    std::string s;
    auto windows = TopLevelWindows(pid);
    if (windows.empty()) return "  (no top-level windows of process " + std::to_string(pid) + ")\n";
    for (const auto& w : windows) {
        char handle[32];
        std::snprintf(handle, sizeof(handle), "%p", static_cast<void*>(w.hwnd));
        s += std::string("  ") + handle + " class \"" + trace::ToUtf8(w.className) + "\" title \"" + trace::ToUtf8(w.title) +
             "\"" + (w.visible ? "" : " (hidden)") + "\n";
    }
    return s;
}

HWND FindTopLevelWindow(DWORD pid, const std::wstring& className, DWORD timeoutMs, bool mustBeVisible) {
    if (pid == 0) return nullptr;
    const DWORD start = ::GetTickCount();
    for (;;) {
        for (const auto& w : TopLevelWindows(pid)) {
            if ((className.empty() || w.className == className) && (w.visible || !mustBeVisible)) return w.hwnd;
        }
        if (::GetTickCount() - start >= timeoutMs) return nullptr;
        ::Sleep(kPollMs);
    }
}

HWND WaitForMessageBox(DWORD pid, DWORD timeoutMs) { return FindTopLevelWindow(pid, kMessageBoxClass, timeoutMs); }

bool WaitForWindowGone(HWND hwnd, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (hwnd && ::IsWindow(hwnd)) {
        if (::GetTickCount() - start >= timeoutMs) return false;
        ::Sleep(kPollMs);
    }
    return true;
}

bool ReadMessageBox(HWND box, MessageBoxContent* out) {
    if (!out || !box || !::IsWindow(box) || WindowClass(box) != kMessageBoxClass) return false;
    MessageBoxContent c;
    c.caption = WindowText(box);
    HWND text = ::GetDlgItem(box, kMessageBoxTextId);
    if (text) c.text = WindowText(text);
    ::EnumChildWindows(box, &CollectButtons, reinterpret_cast<LPARAM>(&c.buttons));
    *out = std::move(c);
    return true;
}

bool ClickDialogButton(HWND dialog, int id) {
    if (!dialog || !::IsWindow(dialog)) return false;
    HWND button = ::GetDlgItem(dialog, id);
    if (!IsDialogButton(button, dialog) || !::IsWindowEnabled(button)) return false;
    DWORD_PTR result = 0;
    // A dialog that closes while handling the click may end the exchange early; the press still happened.
    if (::SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) return true;
    return !::IsWindow(button);
}

bool AnswerMessageBox(HWND box, int id, DWORD timeoutMs) {
    if (!ClickDialogButton(box, id)) return false;
    return WaitForWindowGone(box, timeoutMs);
}

bool DismissMessageBox(HWND box, DWORD timeoutMs) {
    if (!box || !::IsWindow(box)) return false;
    HWND ok = ::GetDlgItem(box, IDOK);
    int id = IsDialogButton(ok, box) ? IDOK : IDCANCEL;
    return AnswerMessageBox(box, id, timeoutMs);
}

HWND ForegroundWindow() { return ::GetForegroundWindow(); }

namespace {

bool SendMouse(DWORD flags, LONG x = 0, LONG y = 0) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = x;
    input.mi.dy = y;
    input.mi.dwFlags = flags;
    return ::SendInput(1, &input, sizeof(input)) == 1;
}

}  // namespace

bool MoveMouseTo(HWND window, int x, int y) {
    POINT point = {x, y};
    if (!::ClientToScreen(window, &point)) return false;
    const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
    const LONG ax = static_cast<LONG>((point.x * 65535LL + width / 2) / (width - 1));
    const LONG ay = static_cast<LONG>((point.y * 65535LL + height / 2) / (height - 1));
    if (!SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, ax, ay)) return false;
    ::Sleep(50);
    return true;
}

bool ClickAt(HWND window, int x, int y) {
    if (!MoveMouseTo(window, x, y)) return false;
    const bool down = SendMouse(MOUSEEVENTF_LEFTDOWN);
    ::Sleep(50);
    const bool up = SendMouse(MOUSEEVENTF_LEFTUP);
    ::Sleep(50);
    return down && up;
}

COLORREF ScreenColourAt(HWND window, int x, int y) {
    POINT point = {x, y};
    if (!::ClientToScreen(window, &point)) return CLR_INVALID;
    const COLORREF colour = ::GetPixel(WindowDc(nullptr).Get(), point.x, point.y);
    if (colour == CLR_INVALID) return colour;
    return RGB(GetBValue(colour), GetGValue(colour), GetRValue(colour));  // as 0x00RRGGBB
}

}  // namespace test
}  // namespace orv
