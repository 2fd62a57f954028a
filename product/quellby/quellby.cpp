// Quellby: the sample product's main program. One window of class "QuellbyWnd" that the setup can find
// (and ask to close) while it replaces the product's files. It says that it is installed, its version and
// the folder it runs from.
//
//   Quellby.exe                   a normal start
//   Quellby.exe /menu             started from the Start menu (the window says so)
//   Quellby.exe /startup system   started with Windows: the window starts minimised
//
// A second start brings the first window back (restored and activated) and exits with 0.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <initializer_list>

#include "utility/uniquehandle.h"

#define QUELLBY_TEXT2(x) #x
#define QUELLBY_TEXT(x) QUELLBY_TEXT2(x)

namespace {

constexpr wchar_t kWindowClass[] = L"QuellbyWnd";
constexpr wchar_t kDisplayName[] = L"奎比桌面";
constexpr wchar_t kVersion[] = L"" QUELLBY_TEXT(QUELLBY_VERSION);

struct StartOptions {
    bool fromMenu = false;
    bool withWindows = false;
};

StartOptions ParseOptions() {
    StartOptions options;
    int count = 0;
    const orv::UniqueLocalMemory memory(::CommandLineToArgvW(::GetCommandLineW(), &count));
    wchar_t** argv = static_cast<wchar_t**>(memory.Get());
    for (int i = 1; argv && i < count; ++i) {
        if (_wcsicmp(argv[i], L"/menu") == 0) options.fromMenu = true;
        if (_wcsicmp(argv[i], L"/startup") == 0 && i + 1 < count && _wcsicmp(argv[i + 1], L"system") == 0)
            options.withWindows = true;
    }
    return options;
}

// The folder of this program file, without a trailing backslash (empty when unknown).
void ProgramFolder(wchar_t* folder, DWORD size) {
    const DWORD length = ::GetModuleFileNameW(nullptr, folder, size);
    if (length == 0 || length >= size) {
        folder[0] = L'\0';
        return;
    }
    wchar_t* slash = wcsrchr(folder, L'\\');
    if (slash) *slash = L'\0';
}

// What the window shows, one line each, in a fixed buffer: the program needs no string library.
wchar_t g_text[MAX_PATH + 128];
orv::UniqueGdiObject g_font;

void AppendText(const wchar_t* piece) {
    const size_t used = wcslen(g_text);
    wcsncat(g_text, piece, ARRAYSIZE(g_text) - 1 - used);
}

void ComposeText(const StartOptions& options) {
    wchar_t folder[MAX_PATH];
    ProgramFolder(folder, MAX_PATH);
    for (const wchar_t* piece : {kDisplayName, L" 已安装\n版本 ", kVersion, L"\n", static_cast<const wchar_t*>(folder)})
        AppendText(piece);
    if (options.fromMenu) AppendText(L"\n从开始菜单启动");
    if (options.withWindows) AppendText(L"\n随 Windows 启动");
}

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    RECT client;
    ::GetClientRect(window, &client);
    ::InflateRect(&client, -16, -16);
    const HGDIOBJ previous = g_font ? ::SelectObject(dc, g_font.Get()) : nullptr;
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextW(dc, g_text, -1, &client, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    if (previous) ::SelectObject(dc, previous);
    ::EndPaint(window, &paint);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

// A running copy's window, restored and brought forward. False when there is none.
bool ActivateRunningCopy() {
    HWND running = ::FindWindowW(kWindowClass, nullptr);
    if (!running) return false;
    ::ShowWindow(running, SW_RESTORE);
    ::SetForegroundWindow(running);
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    if (ActivateRunningCopy()) return 0;
    const StartOptions options = ParseOptions();
    ComposeText(options);
    g_font.Reset(::CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Microsoft YaHei"));

    WNDCLASSW cls = {};
    cls.lpfnWndProc = WindowProc;
    cls.hInstance = instance;
    cls.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    cls.lpszClassName = kWindowClass;
    if (!::RegisterClassW(&cls)) return 1;
    HWND window = ::CreateWindowW(kWindowClass, kDisplayName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  480, 320, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ::ShowWindow(window, options.withWindows ? SW_SHOWMINNOACTIVE : show);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
