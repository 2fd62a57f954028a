// Keeps DLLs and programs planted beside the setup from loading. Before any other static initialiser
// runs, DLL searches are limited to the system folder and the system folder becomes the current folder. Imports outside the system's known DLLs are delay-loaded,
// and the delay-load hook loads each by its full system-folder path, so the setup's own folder is never
// searched, not even where the search cannot be limited.
#include <windows.h>
#include <delayimp.h>

#include "dllsearch.h"
#include "utility/processfolders.h"
#include "utility/systemlibrary.h"

namespace {

__attribute__((constructor(101))) void RestrictDllSearchAtStart() {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    orv::RestrictDllSearch(reinterpret_cast<orv::SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories"))));
    orv::LeaveStartFolder();
}

// What the delay-load helper asks before it loads a DLL itself; a null answer lets it load the DLL by
// name under the restricted search (a DLL that is not in the system folder).
FARPROC WINAPI DelayLoadNotify(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
    return reinterpret_cast<FARPROC>(orv::LoadSystemLibrary(info->szDll));
}

}  // namespace

// Declared by <delayimp.h> with C linkage; this definition takes the place of the runtime's empty one.
PfnDliHook __pfnDliNotifyHook2 = DelayLoadNotify;
