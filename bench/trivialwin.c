/* The smallest window program: registers a class, shows a 600x490 window, paints it once and exits with 0.
   The floor of what starting a program with a window costs under Wine.
   usage: trivialwin.exe [stay]   with "stay" the window stays until it is closed. */
#include <windows.h>
#include <string.h>

static int stay;

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        FillRect(dc, &paint.rcPaint, (HBRUSH)GetStockObject(WHITE_BRUSH));
        EndPaint(window, &paint);
        if (!stay) PostQuitMessage(0);
        return 0;
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wparam, lparam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command, int show) {
    WNDCLASSW wc = {0};
    MSG msg;
    HWND window;
    (void)previous;
    stay = command && strstr(command, "stay") != NULL;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    wc.lpszClassName = L"Orv_TrivialWindow";
    if (!RegisterClassW(&wc)) return 2;
    window = CreateWindowExW(0, wc.lpszClassName, L"trivial", WS_POPUP, (GetSystemMetrics(SM_CXSCREEN) - 600) / 2,
                             (GetSystemMetrics(SM_CYSCREEN) - 490) / 2, 600, 490, NULL, NULL, instance, NULL);
    if (!window) return 3;
    ShowWindow(window, show == SW_HIDE ? SW_SHOWNORMAL : show);
    UpdateWindow(window);
    while (GetMessageW(&msg, NULL, 0, 0) > 0) DispatchMessageW(&msg);
    if (IsWindow(window)) DestroyWindow(window);
    return 0;
}
