// The system's own DLLs: loaded from the system folder, never through a search that could reach a
// folder a user may write.
#pragma once

#include <windows.h>

namespace orv {

// Loads a DLL by its file name from the system folder (its own imports are looked up from there too).
// A DLL that the program's manifest redirects to the side-by-side store (the common controls) is
// loaded by name: the loader takes it from the store before it searches anywhere else. A name with a
// folder part or a character outside ASCII is refused. Null on failure.
HMODULE LoadSystemLibrary(const wchar_t* name);
HMODULE LoadSystemLibrary(const char* name);

}  // namespace orv
