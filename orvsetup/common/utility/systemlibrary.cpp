// System-folder DLL loading for the delay-load hook and the text services. Imports nothing beyond
// kernel32: the delay-load hook runs before any other DLL may be loaded.
#include "utility/systemlibrary.h"

#include <string>
#include <type_traits>

#include "utility/processfolders.h"

namespace orv {
namespace {

bool RedirectedBySideBySide(const std::wstring& name) {
    ACTCTX_SECTION_KEYED_DATA data = {};
    data.cbSize = sizeof(data);
    return ::FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name.c_str(), &data) !=
           FALSE;
}

template <typename Char>
bool IsPlainFileName(const Char* name) {
    if (!name || !*name) return false;
    for (const Char* c = name; *c; ++c) {
        const unsigned code = static_cast<unsigned>(static_cast<typename std::make_unsigned<Char>::type>(*c));
        if (code == '\\' || code == '/' || code == ':' || code > 0x7F) return false;
    }
    return true;
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (!IsPlainFileName(name)) {
        ::SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (RedirectedBySideBySide(name)) return ::LoadLibraryW(name);
    const std::wstring folder = SystemFolder();
    if (folder.empty()) return nullptr;
    const std::wstring path = folder + L"\\" + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadSystemLibrary(const char* name) {
    if (!IsPlainFileName(name)) {
        ::SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    const std::wstring wide(name, name + std::char_traits<char>::length(name));  // ASCII only, checked above
    return LoadSystemLibrary(wide.c_str());
}

}  // namespace orv
