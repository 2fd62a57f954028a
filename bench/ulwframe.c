/* The cost of pushing one 600x490 per-pixel-alpha frame to the screen: a shown layered window updated from a
   32-bit DIB with UpdateLayeredWindow, as the dialogs do every time their picture changes.
   usage: ulwframe.exe [FRAMES]   prints the median milliseconds of one update; exits with 0. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static int CompareDoubles(const void* a, const void* b) {
    const double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}

int main(int argc, char** argv) {
    const int width = 600, height = 490;
    int frames = argc > 1 ? atoi(argv[1]) : 200;
    WNDCLASSW wc = {0};
    BITMAPINFO info = {0};
    void* bits = NULL;
    HWND window;
    HDC screen, dc;
    HBITMAP bitmap;
    LARGE_INTEGER frequency, start, end;
    double* times;
    int i, p;
    if (frames < 1) frames = 1;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.lpszClassName = L"Orv_UlwFrame";
    if (!RegisterClassW(&wc)) return 2;
    window = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, wc.lpszClassName, L"ulwframe", WS_POPUP,
                             (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2,
                             width, height, NULL, NULL, wc.hInstance, NULL);
    if (!window) return 3;
    screen = GetDC(NULL);
    dc = CreateCompatibleDC(screen);
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (!bitmap) return 4;
    SelectObject(dc, bitmap);
    times = (double*)malloc(sizeof(double) * frames);
    QueryPerformanceFrequency(&frequency);
    for (i = -1; i < frames; ++i) {  /* the first update shows the window and is not counted */
        SIZE size = {width, height};
        POINT source = {0, 0};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        DWORD* pixel = (DWORD*)bits;
        const DWORD alpha = (DWORD)(0x80 + (i & 0x3f));  /* premultiplied grey, a little different each frame */
        for (p = 0; p < width * height; ++p) pixel[p] = (alpha << 24) | (alpha / 2 * 0x010101u);
        QueryPerformanceCounter(&start);
        UpdateLayeredWindow(window, NULL, NULL, &size, dc, &source, 0, &blend, ULW_ALPHA);
        QueryPerformanceCounter(&end);
        if (i < 0) {
            ShowWindow(window, SW_SHOWNOACTIVATE);
        } else {
            times[i] = 1000.0 * (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
        }
        {
            MSG msg;
            while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        }
    }
    qsort(times, frames, sizeof(double), CompareDoubles);
    printf("%.3f\n", times[frames / 2]);
    fflush(stdout);
    DestroyWindow(window);
    return 0;
}
