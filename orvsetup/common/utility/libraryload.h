// Loading a DLL that is not the system's: a product DLL in its installation folder.
#pragma once

#include <windows.h>

namespace orv {

// Loads a DLL by name or path. A full path's own imports are looked up beside it first and then in the
// system folders, also when the process limited its search to the system folder; a bare name goes through
// the system's search. Null on failure, with the thread's last error set.
HMODULE LoadLibraryBesideItsImports(const wchar_t* nameOrPath);

}  // namespace orv
