/* Stands in for a system tool (sc.exe, cmd.exe, ...) planted where a standard user can write: leaves
   "<its own path>.ran" behind when it runs, whatever its arguments, so a test can see that it ran. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    wchar_t path[MAX_PATH + 8];
    DWORD length;
    HANDLE file;
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    length = GetModuleFileNameW(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    lstrcpyW(path + length, L".ran");
    file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return 0;
}
