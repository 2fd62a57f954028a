// Where the setup's DLLs come from: the system folder, never the folder the setup was started from.
#pragma once

#include <windows.h>

namespace orv {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

// Limits later DLL searches to the system folder where `setDefault` (SetDefaultDllDirectories) exists;
// without it (Windows 7 without its update) only the current folder is dropped from the search.
void RestrictDllSearch(SetDefaultDllDirectoriesFn setDefault);

// Loads a DLL by its full path in the system folder (its own imports are looked up from there too).
// A DLL that the program's manifest redirects to the side-by-side store (the common controls) is
// loaded by name: the loader takes it from the store before it searches anywhere else. Null on failure.
HMODULE LoadSystemLibrary(const char* name);

}  // namespace orv
