// The machine-wide uninstall entries, read as untrusted text.
#include "registration.h"

#include <windows.h>

#include <vector>

#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace quellby {
namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr DWORD kMaxValueChars = 32767;  // the longest path Windows takes
constexpr DWORD kMaxEntries = 100000;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// A string value: REG_SZ or REG_EXPAND_SZ (taken as it stands), of a plausible length, with no NUL
// inside (one at the end, or none, is fine). False for anything else.
bool ReadText(HKEY key, const wchar_t* name, std::wstring* text) {
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size % sizeof(wchar_t) != 0 ||
        size > (kMaxValueChars + 1) * sizeof(wchar_t))
        return false;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = size;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &read) != ERROR_SUCCESS ||
        read != size || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;  // changed in between
    size_t length = size / sizeof(wchar_t);
    if (length > 0 && buffer[length - 1] == L'\0') --length;
    for (size_t i = 0; i < length; ++i)
        if (buffer[i] == L'\0') return false;
    text->assign(buffer.data(), length);
    return true;
}

// Whether the entry `name` of `entries` registers `program` for `folder` (both canonical).
bool EntryRegisters(HKEY entries, const wchar_t* name, REGSAM view, const std::wstring& program,
                    const std::wstring& folder) {
    orv::UniqueHKey entry;
    if (::RegOpenKeyExW(entries, name, 0, KEY_QUERY_VALUE | view, entry.Put()) != ERROR_SUCCESS) return false;
    std::wstring command, location;
    if (!ReadText(entry.Get(), L"UninstallString", &command) || !ReadText(entry.Get(), L"InstallLocation", &location))
        return false;
    return SamePath(ProgramOfCommand(command), program) && SamePath(location, folder);
}

bool ViewRegisters(REGSAM view, const std::wstring& program, const std::wstring& folder) {
    orv::UniqueHKey entries;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_ENUMERATE_SUB_KEYS | view, entries.Put()) !=
        ERROR_SUCCESS)
        return false;
    for (DWORD index = 0; index < kMaxEntries; ++index) {
        wchar_t name[256];  // the longest key name the registry allows, and its terminator
        DWORD length = 256;
        const LONG status = ::RegEnumKeyExW(entries.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        if (EntryRegisters(entries.Get(), name, view, program, folder)) return true;
    }
    return false;
}

}  // namespace

std::wstring ProgramOfCommand(const std::wstring& command) {
    size_t start = 0;
    while (start < command.size() && IsBlank(command[start])) ++start;
    if (start < command.size() && command[start] == L'"') {
        const size_t end = command.find(L'"', start + 1);
        if (end == std::wstring::npos) return std::wstring();
        return command.substr(start + 1, end - start - 1);
    }
    for (size_t at = start; at + 4 <= command.size(); ++at) {
        if (_wcsnicmp(command.c_str() + at, L".exe", 4) != 0) continue;
        const size_t end = at + 4;
        if (end == command.size() || IsBlank(command[end])) return command.substr(start, end - start);
    }
    return std::wstring();
}

std::wstring CanonicalPath(const std::wstring& path) {
    const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool network = path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/');
    if (!(drive || network) || path.size() > kMaxValueChars) return std::wstring();
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> full(needed);
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return std::wstring();
    std::wstring result(full.data(), length);
    // Short (8.3) names of existing parts become their long names; a path that does not exist stays as it is.
    const DWORD longNeeded = ::GetLongPathNameW(result.c_str(), nullptr, 0);
    if (longNeeded > 0) {
        std::vector<wchar_t> longer(longNeeded);
        const DWORD longLength = ::GetLongPathNameW(result.c_str(), longer.data(), longNeeded);
        if (longLength > 0 && longLength < longNeeded) result.assign(longer.data(), longLength);
    }
    while (result.size() > 3 && result.back() == L'\\') result.pop_back();
    return result;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    const std::wstring left = CanonicalPath(a), right = CanonicalPath(b);
    return !left.empty() && left.size() == right.size() &&
           ::CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

bool IsRegisteredInstall(const std::wstring& program, const std::wstring& folder) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
        if (ViewRegisters(view, program, folder)) return true;
    orv::TraceLine(L"no uninstall entry registers %ls for the folder \"%ls\": nothing is uninstalled\r\n",
                   program.c_str(), folder.c_str());
    return false;
}

}  // namespace quellby
