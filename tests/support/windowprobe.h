// Looking at and driving the windows of a program under test from another process: find its top-level windows,
// read a message box, press its buttons.
//
// Buttons are pressed with BM_CLICK sent to the button (SendMessageTimeoutW, so a hung program cannot hang the
// test); the button then notifies its dialog exactly as a mouse click would. This needs neither focus nor
// the pointer, unlike synthetic key presses.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace orv {
namespace test {

constexpr const wchar_t* kMessageBoxClass = L"#32770";
constexpr const wchar_t* kInstallerWindowClass = L"Orv_Installer";
// Control id of the text of a message box.
constexpr int kMessageBoxTextId = 0xFFFF;

struct WindowInfo {
    HWND hwnd = nullptr;
    std::wstring className;
    std::wstring title;
    bool visible = false;
};

// Class, title and owning process of any window (empty / 0 when the window is gone).
std::wstring WindowClass(HWND hwnd);
std::wstring WindowText(HWND hwnd);
DWORD WindowProcessId(HWND hwnd);

// Top-level windows (owned popups included) of process `pid`, in Z order.
std::vector<WindowInfo> TopLevelWindows(DWORD pid);
// For failure messages: one row per top-level window of `pid`.
std::string DescribeWindows(DWORD pid);

// Waits up to timeoutMs for a top-level window of `pid` with class `className` (empty: any class),
// visible unless mustBeVisible is false. Returns nullptr on timeout.
HWND FindTopLevelWindow(DWORD pid, const std::wstring& className, DWORD timeoutMs, bool mustBeVisible = true);
// Same for a message box.
HWND WaitForMessageBox(DWORD pid, DWORD timeoutMs);
// Waits until `hwnd` no longer exists. True when it is gone.
bool WaitForWindowGone(HWND hwnd, DWORD timeoutMs);

struct DialogButton {
    int id = 0;
    std::wstring text;
};

struct MessageBoxContent {
    std::wstring caption;
    std::wstring text;                 // the static control with id kMessageBoxTextId
    std::vector<DialogButton> buttons; // in child order, e.g. {IDYES, "&Yes"}, {IDNO, "&No"}
};

// Reads caption, text and buttons of the message box `box`. False when `box` is not a live dialog window.
bool ReadMessageBox(HWND box, MessageBoxContent* out);

// Presses the button with control id `id` of dialog `dialog`. False when there is no such enabled button or the
// program did not take the message.
bool ClickDialogButton(HWND dialog, int id);
// Presses the message box's OK button, or its Cancel button when it has no OK, and waits for the box to close.
// True when the box closed within timeoutMs.
bool DismissMessageBox(HWND box, DWORD timeoutMs = 5000);
// Presses button `id` and waits for the dialog to close.
bool AnswerMessageBox(HWND box, int id, DWORD timeoutMs = 5000);

HWND ForegroundWindow();

// Real mouse input (SendInput): moves the pointer to the client point (x, y) of `window`, and clicks the
// left button there. The window must be on screen; the pointer stays where it was moved.
bool MoveMouseTo(HWND window, int x, int y);
bool ClickAt(HWND window, int x, int y);
// The colour (0x00RRGGBB) on screen at the client point, or CLR_INVALID when it cannot be read.
COLORREF ScreenColourAt(HWND window, int x, int y);

}  // namespace test
}  // namespace orv
