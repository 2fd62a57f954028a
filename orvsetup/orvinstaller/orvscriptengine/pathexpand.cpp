// Path expansion shared by the file, shell and process actions.
#include "pathexpand.h"

namespace orv {

bool ExpandPath(const std::wstring& path, std::wstring& expanded) {
    expanded.clear();
    wchar_t buffer[MAX_PATH] = {};
    const DWORD needed = ::ExpandEnvironmentStringsW(path.c_str(), buffer, MAX_PATH);
    if (needed == 0 || needed > MAX_PATH) return false;  // needed counts the terminator
    expanded.assign(buffer);
    return true;
}

}  // namespace orv
