// DLL loading with the DLL's own folder in the search for its imports.
#include "utility/libraryload.h"

#include <shlwapi.h>

namespace orv {

HMODULE LoadLibraryBesideItsImports(const wchar_t* nameOrPath) {
    if (!nameOrPath || !*nameOrPath || ::PathIsRelativeW(nameOrPath)) return ::LoadLibraryW(nameOrPath);
    HMODULE module = ::LoadLibraryExW(nameOrPath, nullptr,
                                      LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!module && ::GetLastError() == ERROR_INVALID_PARAMETER)  // a system without those search flags
        module = ::LoadLibraryExW(nameOrPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module;
}

}  // namespace orv
