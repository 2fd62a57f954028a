// The DLL search of a system without SetDefaultDllDirectories (Windows 7 without its update), started
// from a folder with planted DLLs: with "bare" it loads the setup's delay-loaded DLLs by name as the
// plain delay-load helper would, otherwise through the setup's own hook. Exit code 0 when every one of
// them came from the system folder or the side-by-side store, 1 when one came from anywhere else.
// (What those system DLLs load by name in turn is the system's business: only the update fixes that.)
#include <windows.h>

#include <cwchar>
#include <initializer_list>

#include "dllsearch.h"
#include "utility/systemlibrary.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    orv::RestrictDllSearch(nullptr);
    const bool bare = std::wcsstr(commandLine, L"bare") != nullptr;
    wchar_t system[MAX_PATH];
    const UINT systemLength = ::GetSystemDirectoryW(system, MAX_PATH);
    int outside = 0;
    for (const char* name : {"advapi32.dll", "user32.dll", "gdi32.dll", "ole32.dll", "oleaut32.dll", "shell32.dll",
                             "shlwapi.dll", "comctl32.dll", "gdiplus.dll"}) {
        HMODULE module = bare ? ::LoadLibraryA(name) : orv::LoadSystemLibrary(name);
        wchar_t path[MAX_PATH] = L"";
        if (!module || !::GetModuleFileNameW(module, path, MAX_PATH)) return 2;
        const bool fromSystem =
            _wcsnicmp(path, system, systemLength) == 0 || _wcsnicmp(path + 2, L"\\windows\\winsxs\\", 16) == 0;
        if (!fromSystem) ++outside;
    }
    return outside == 0 ? 0 : 1;
}
