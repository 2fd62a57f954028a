/* A test helper with one top-level window: windowapp.exe CLASS [stubborn]. It ends with exit code 77
   when its window is closed; a stubborn one ignores the close command and message.
   windowapp.exe --sleep MS FILE instead sleeps, then writes FILE and ends. */
#include <windows.h>
#include <stdlib.h>

static BOOL stubborn;

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE && stubborn) return 0;
    if (message == WM_CLOSE) {
        if (!stubborn) DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(77);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    (void)previous;
    (void)commandLine;
    (void)show;
    if (!argv || count < 2) return 2;
    if (count == 4 && lstrcmpW(argv[1], L"--sleep") == 0) {
        HANDLE marker;
        Sleep((DWORD)_wtoi(argv[2]));
        marker = CreateFileW(argv[3], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (marker == INVALID_HANDLE_VALUE) return 4;
        CloseHandle(marker);
        return 0;
    }
    stubborn = count > 2 && lstrcmpW(argv[2], L"stubborn") == 0;
    WNDCLASSW cls = {0};
    cls.lpfnWndProc = WindowProc;
    cls.hInstance = instance;
    cls.lpszClassName = argv[1];
    if (!RegisterClassW(&cls) || !CreateWindowW(argv[1], L"helper", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, NULL, NULL,
                                                instance, NULL))
        return 3;
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) DispatchMessageW(&msg);
    return (int)msg.wParam;
}
