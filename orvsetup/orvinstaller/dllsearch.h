// Where the setup's DLLs come from: the system folder, never the folder the setup was started from.
#pragma once

#include <windows.h>

namespace orv {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

// Limits later DLL searches to the system folder where `setDefault` (SetDefaultDllDirectories) exists;
// without it (Windows 7 without its update) only the current folder is dropped from the search.
void RestrictDllSearch(SetDefaultDllDirectoriesFn setDefault);

}  // namespace orv
