// Path expansion shared by the file, shell and process actions.
#include "orvscriptengine/pathexpand.h"

namespace orv {

bool ExpandPath(const std::wstring& path, std::wstring& expanded) {
    expanded.clear();
    wchar_t buffer[MAX_PATH] = {};
    const DWORD needed = ::ExpandEnvironmentStringsW(path.c_str(), buffer, MAX_PATH);
    if (needed == 0 || needed > MAX_PATH) return false;  // needed counts the terminator
    expanded.assign(buffer);
    return true;
}

bool ExpandText(const std::wstring& text, std::wstring& expanded) {
    expanded.clear();
    if (text.find(L'%') == std::wstring::npos) {
        expanded = text;
        return true;
    }
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {  // a variable may grow between the two calls
        const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
        if (needed == 0) return false;
        if (needed <= buffer.size()) {
            buffer.resize(needed - 1);  // needed counts the terminator
            expanded.swap(buffer);
            return true;
        }
        buffer.assign(needed, L'\0');
    }
    return false;
}

}  // namespace orv
