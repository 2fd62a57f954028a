// Keeps DLLs planted beside the setup from loading: before any other static initialiser runs, DLL
// searches are limited to the system folder. Imports outside the system's known DLLs are delay-loaded,
// so they resolve only after this has run.
#include <windows.h>

namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

__attribute__((constructor(101))) void RestrictDllSearch() {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryW(L"");  // also drops the current folder where the call above is missing
}

}  // namespace
