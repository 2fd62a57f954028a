/* Loads DLLs by bare name the way an unprotected program does, so a DLL planted beside it is found
   first: shows the planting test can see a planted DLL at all. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    HMODULE comctl = LoadLibraryW(L"comctl32.dll");
    HMODULE gdiplus = LoadLibraryW(L"gdiplus.dll");
    if (comctl) FreeLibrary(comctl);
    if (gdiplus) FreeLibrary(gdiplus);
    return 0;
}
