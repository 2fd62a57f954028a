// System folders, the start folder and the lookup of bare program names.
#include "utility/processfolders.h"

#include <windows.h>

#include <vector>

namespace orv {
namespace {

using FolderQuery = UINT(WINAPI*)(LPWSTR, UINT);

std::wstring QueryFolder(FolderQuery query) {
    wchar_t folder[MAX_PATH];
    const UINT length = query(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    return std::wstring(folder, length);
}

std::wstring CurrentFolder() {
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> buffer(needed);
    const DWORD length = ::GetCurrentDirectoryW(needed, buffer.data());
    if (length == 0 || length >= needed) return std::wstring();
    return std::wstring(buffer.data(), length);
}

// Kept once; a plain function-local so that it is usable from the earliest start-up code.
std::wstring& StartFolder() {
    static std::wstring folder;
    return folder;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool HasExtension(const std::wstring& name) {
    const size_t dot = name.find_last_of(L'.');
    return dot != std::wstring::npos && dot > 0 && dot + 1 < name.size();
}

}  // namespace

std::wstring SystemFolder() { return QueryFolder(::GetSystemDirectoryW); }

std::wstring WindowsFolder() { return QueryFolder(::GetWindowsDirectoryW); }

void LeaveStartFolder() {
    static bool left = false;
    if (left) return;
    left = true;
    StartFolder() = CurrentFolder();
    const std::wstring system = SystemFolder();
    if (!system.empty()) ::SetCurrentDirectoryW(system.c_str());
}

std::wstring FolderAtStart() { return StartFolder(); }

bool FullPathFromStart(const std::wstring& path, std::wstring* full) {
    full->clear();
    if (path.empty() || path.find(L'\0') != std::wstring::npos) return false;
    std::wstring joined = path;
    const std::wstring& start = StartFolder();
    if (!start.empty()) {
        const bool hasDrive = path.size() >= 2 && path[1] == L':';
        const bool rooted = IsSeparator(path[0]);
        if (!hasDrive && !rooted) {
            joined = start + (IsSeparator(start.back()) ? L"" : L"\\") + path;
        } else if (!hasDrive && !(path.size() >= 2 && IsSeparator(path[1]))) {
            // "\folder": the root of the start folder's drive, not of the system folder's.
            if (start.size() >= 2 && start[1] == L':') joined = start.substr(0, 2) + path;
        }
    }
    const DWORD needed = ::GetFullPathNameW(joined.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return false;
    std::vector<wchar_t> buffer(needed);
    const DWORD length = ::GetFullPathNameW(joined.c_str(), needed, buffer.data(), nullptr);
    if (length == 0 || length >= needed) return false;
    full->assign(buffer.data(), length);
    return true;
}

ProgramNameKind ClassifyProgramName(const std::wstring& name) {
    const bool drive = name.size() >= 3 && name[1] == L':' && IsSeparator(name[2]);
    const bool network = name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1]);
    if (drive || network) return ProgramNameKind::kFull;
    for (wchar_t c : name)
        if (IsSeparator(c) || c == L':') return ProgramNameKind::kRelative;
    if (name.empty() || name == L"." || name == L"..") return ProgramNameKind::kRelative;
    return ProgramNameKind::kBare;
}

bool FindInSystemFolders(const std::wstring& name, std::wstring* path) {
    path->clear();
    if (ClassifyProgramName(name) != ProgramNameKind::kBare) return false;
    for (const std::wstring& folder : {SystemFolder(), WindowsFolder()}) {
        if (folder.empty()) continue;
        const std::wstring candidate = folder + L"\\" + name;
        if (IsFile(candidate)) {
            *path = candidate;
            return true;
        }
        if (!HasExtension(name) && IsFile(candidate + L".exe")) {
            *path = candidate + L".exe";
            return true;
        }
    }
    return false;
}

}  // namespace orv
