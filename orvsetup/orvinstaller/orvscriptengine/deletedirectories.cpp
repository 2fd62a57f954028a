// The engine's recursive deletion.
#include "orvscriptengine.h"

#include "scriptcallback.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace orv {

// Moves the process's current directory to the parent of `path` when it is `path` itself, so the folder
// can be removed.
void ChangeDirectoryAway(const std::wstring& path) {
    wchar_t current[MAX_PATH];
    const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, current);
    if (length == 0 || length >= MAX_PATH || path != current) return;
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return;
    ::SetCurrentDirectoryW(path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash).c_str());
}

namespace {

// Removes a junction or symbolic link itself, never what it points to: the link is opened as a reparse
// point and marked for deletion only when the open handle really is the reparse point. (Some systems
// follow the link even then, and RemoveDirectoryW may remove an empty target.) Otherwise the link stays.
void RemoveLink(const std::wstring& path) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const UniqueFileHandle link(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, share, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                              nullptr));
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!link || !::GetFileInformationByHandleEx(link.Get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
        !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || tag.ReparseTag == 0)
        return;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    ::SetFileInformationByHandle(link.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
}

void DeleteTree(const std::wstring& path, ScriptCallback* onError, const wchar_t* traceName) {
    TraceLine(L"%ls %ls", traceName, path.c_str());
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (folder && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveLink(path);  // its target is never entered
        return;
    }
    const std::wstring base = folder ? path + L"\\" : path.substr(0, path.find_last_of(L"\\/") + 1);
    WIN32_FIND_DATAW found;
    UniqueFindHandle search(::FindFirstFileW((folder ? path + L"\\*.*" : path).c_str(), &found));
    if (!search) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring full = base + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteTree(full, onError, traceName);
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!::DeleteFileW(full.c_str()) && onError) onError->Call(full, static_cast<int>(::GetLastError()));
    } while (::FindNextFileW(search.Get(), &found));
    search.Reset();
    if (folder) {
        ChangeDirectoryAway(path);
        ::RemoveDirectoryW(path.c_str());
    }
}

}  // namespace

void ORVScriptEngine::DeleteDirectories(const std::wstring& path) {
    DeleteTree(path, nullptr, L"ORVScriptEngine::DeleteDirectories");
}

void ORVScriptEngine::DeleteDirectoriesEx(const std::wstring& path, ScriptCallback* onError) {
    DeleteTree(path, onError, L"ORVScriptEngine::DeleteDirectoriesEx");
}

}  // namespace orv
