// Folder creation with the rights of the program folders.
#include "orvscriptengine/foldercreation.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <vector>

#include "orvscriptengine/changenotice.h"
#include "utility/processfolders.h"
#include "utility/securitydescriptor.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

#define ORV_TRACE_SOURCE L"foldercreation"

namespace orv {
namespace {

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring SpecialFolder(int csidl) {
    wchar_t path[MAX_PATH] = L"";
    return SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

// The 64-bit program folder, which a 32-bit process's own queries do not name.
std::wstring NativeProgramFiles() {
    UniqueHKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                        KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Put()) != ERROR_SUCCESS)
        return std::wstring();
    wchar_t value[MAX_PATH] = L"";
    DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
    if (::RegQueryValueExW(key.Get(), L"ProgramFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::wstring();
    value[size / sizeof(wchar_t)] = L'\0';
    return value;
}

// Where a new folder is better off with what it inherits: the program folders already protect it, and a
// folder in the user's own profile is theirs to use.
bool InheritsRightly(const std::wstring& folder) {
    for (const std::wstring& place : {SpecialFolder(CSIDL_PROGRAM_FILES), SpecialFolder(CSIDL_PROGRAM_FILESX86),
                                      NativeProgramFiles(), SpecialFolder(CSIDL_PROFILE)})
        if (!place.empty() && PathIsWithin(folder, place)) return true;
    return false;
}

// The folders of `path` that do not exist yet, the top-most first.
std::vector<std::wstring> MissingFolders(const std::wstring& path) {
    std::vector<std::wstring> missing;
    std::wstring folder = path;
    while (!folder.empty() && !IsFolder(folder)) {
        missing.insert(missing.begin(), folder);
        const size_t slash = folder.find_last_of(L'\\');
        if (slash == std::wstring::npos || slash < 2) break;
        folder.resize(slash);
        if (folder.size() == 2 && folder[1] == L':') break;  // a drive's root is never created
    }
    return missing;
}

}  // namespace

bool PathIsWithin(const std::wstring& path, const std::wstring& folder) {
    std::wstring base = folder;
    while (!base.empty() && base.back() == L'\\') base.pop_back();
    if (base.empty() || path.size() < base.size() || _wcsnicmp(path.c_str(), base.c_str(), base.size()) != 0)
        return false;
    return path.size() == base.size() || path[base.size()] == L'\\';
}

bool CreateFolderTree(const std::wstring& path) {
    // Like the shell's own folder creation, only full paths.
    if (ClassifyProgramName(path) != ProgramNameKind::kFull) return false;
    std::wstring full = path;
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    const std::vector<std::wstring> missing = MissingFolders(full);
    if (missing.empty()) return IsFolder(full);
    const std::wstring& top = missing.front();
    if (!InheritsRightly(top)) {
        if (CreateFolderWithSddl(top, ProgramFolderSddl())) {
            TraceLine(L"%ls has the program folders' rights\r\n", top.c_str());
        } else if (const DWORD error = ::GetLastError(); error != ERROR_ALREADY_EXISTS) {
            ORV_FAILURE_TRAILER(L"CreateDirectory with the program folders' rights failed.", error);
            return false;
        }
    }
    if (missing.size() > 1 || !IsFolder(full)) ::SHCreateDirectoryExW(nullptr, full.c_str(), nullptr);
    return IsFolder(full);
}

bool CreateFoldersNoticed(const char* action, const std::wstring& path,
                          const std::function<bool(const std::wstring&)>& create) {
    if (ClassifyProgramName(path) != ProgramNameKind::kFull) return create(path);  // refused there
    std::wstring full = FullPath(path);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    std::vector<Change> changes;
    for (const std::wstring& folder : MissingFolders(full)) changes.push_back(FolderChange(folder));
    size_t allowed = 0;
    while (allowed < changes.size() && NoticeBefore(action, changes[allowed])) ++allowed;
    const bool refused = allowed < changes.size();
    if (!refused) create(full);
    for (size_t k = 0; k < allowed; ++k) NoticeAfter(changes[k], !refused && IsFolder(changes[k].path));
    return !refused && IsFolder(full);
}

}  // namespace orv
