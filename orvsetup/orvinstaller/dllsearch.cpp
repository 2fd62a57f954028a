// System-folder DLL loading for the hardening start-up code and the delay-load hook.
#include "dllsearch.h"

#include <string>

namespace orv {
namespace {

bool RedirectedBySideBySide(const std::wstring& name) {
    ACTCTX_SECTION_KEYED_DATA data = {};
    data.cbSize = sizeof(data);
    return ::FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name.c_str(), &data) !=
           FALSE;
}

}  // namespace

void RestrictDllSearch(SetDefaultDllDirectoriesFn setDefault) {
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryW(L"");  // also drops the current folder where the call above is missing
}

HMODULE LoadSystemLibrary(const char* name) {
    std::wstring wide;
    for (const char* c = name; *c; ++c) {
        if (*c == '\\' || *c == '/' || *c == ':' || static_cast<unsigned char>(*c) > 0x7F) return nullptr;
        wide += static_cast<wchar_t>(*c);
    }
    if (wide.empty()) return nullptr;
    if (RedirectedBySideBySide(wide)) return ::LoadLibraryW(wide.c_str());
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + wide;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace orv
