/* Stands in for a DLL planted beside the setup under a system DLL's name: says so when it is loaded. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) OutputDebugStringA("qz PLANTED DLL LOADED");
    return TRUE;
}
