// The process-wide DLL search of the hardening start-up code.
#include "dllsearch.h"

namespace orv {

void RestrictDllSearch(SetDefaultDllDirectoriesFn setDefault) {
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryW(L"");  // also drops the current folder where the call above is missing
}

}  // namespace orv
