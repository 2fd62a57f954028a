// The engine's recursive deletion. It works through handles: each folder is listed through its own
// handle, and a subfolder is entered only when the handle opened for it is the plain folder the listing
// showed (same volume, same file id), so a folder swapped for a junction or a link after it was listed is
// never entered (some systems follow a link even when it is opened as a reparse point: the handle's kind
// alone does not tell). Names are used as listed, behind the "\\?\" prefix, so a name made of dots and
// spaces (".. ", "... ") names that entry and never the parent.
#include "orvscriptengine/deletedirectories.h"

#include <vector>

#include "utility/folderidentity.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace {

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

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

DeletionSeam g_seam = nullptr;

// Removes a junction or symbolic link itself, never what it points to: the link is opened as a reparse
// point and marked for deletion only when the open handle really is the reparse point. (Some systems
// follow the link even then, and RemoveDirectoryW may remove an empty target.) Otherwise the link stays.
void RemoveLink(const std::wstring& verbatim) {
    const UniqueFileHandle link(::CreateFileW(verbatim.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                              nullptr));
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!link || !::GetFileInformationByHandleEx(link.Get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
        !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || tag.ReparseTag == 0)
        return;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    ::SetFileInformationByHandle(link.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
}

class TreeDeletion {
public:
    TreeDeletion(const DeletionFailed& onError, const wchar_t* traceName) : onError_(onError), traceName_(traceName) {}

    void Run(const std::wstring& path) {
        TraceLine(L"%ls %ls", traceName_, path.c_str());
        const std::wstring verbatim = VerbatimPath(path);
        if (verbatim.empty()) return;
        const DWORD attributes = ::GetFileAttributesW(verbatim.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteOneFile(path, verbatim, attributes);
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveLink(verbatim);  // its target is never entered
        ChangeDirectoryAway(path);  // the current folder is held open without sharing its deletion
        UniqueFileHandle folder = OpenFolderHandle(verbatim);
        FolderIdentity identity;
        if (!folder || !IdentityOf(folder.Get(), &identity) || !identity.plainFolder) return;
        DeleteFolder(path, verbatim, std::move(folder), identity.volume);
    }

private:
    void DeleteOneFile(const std::wstring& path, const std::wstring& verbatim, DWORD attributes) {
        if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(verbatim.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!::DeleteFileW(verbatim.c_str()) && onError_) onError_(path, ::GetLastError());
    }

    // The subfolder the listing showed, opened; null (traced) when what is there now is another object.
    UniqueFileHandle EnterListed(const std::wstring& path, const std::wstring& verbatim, const ListedEntry& entry,
                                 ULONGLONG volume) {
        if (g_seam) g_seam(path);
        ChangeDirectoryAway(path);
        UniqueFileHandle folder = OpenFolderHandle(verbatim);
        if (!folder) return UniqueFileHandle();
        if (IsListedFolder(folder.Get(), entry, volume)) return folder;
        TraceLine(L"%ls changed after it was listed; it is not entered\r\n", path.c_str());
        return UniqueFileHandle();
    }

    // Deletes what `folder` holds, then the folder itself through its handle.
    void DeleteFolder(const std::wstring& path, const std::wstring& verbatim, UniqueFileHandle folder, ULONGLONG volume) {
        for (const ListedEntry& entry : ListFolder(folder.Get())) {
            const std::wstring childPath = path + L"\\" + entry.name;
            const std::wstring childVerbatim = verbatim + L"\\" + entry.name;
            if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                DeleteOneFile(childPath, childVerbatim, entry.attributes);
                continue;
            }
            if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                RemoveLink(childVerbatim);
                continue;
            }
            TraceLine(L"%ls %ls", traceName_, childPath.c_str());
            UniqueFileHandle child = EnterListed(childPath, childVerbatim, entry, volume);
            if (child) DeleteFolder(childPath, childVerbatim, std::move(child), volume);
        }
        ChangeDirectoryAway(path);
        FILE_DISPOSITION_INFO disposition = {TRUE};  // fails while anything is left inside: ignored
        ::SetFileInformationByHandle(folder.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
    }

    const DeletionFailed& onError_;
    const wchar_t* traceName_;
};

}  // namespace

DeletionSeam SetDeletionSeam(DeletionSeam seam) {
    const DeletionSeam previous = g_seam;
    g_seam = seam;
    return previous;
}

void DeleteDirectories(const std::wstring& path) {
    TreeDeletion(DeletionFailed(), L"ORVScriptEngine::DeleteDirectories").Run(path);
}

void DeleteDirectoriesEx(const std::wstring& path, const DeletionFailed& onError) {
    TreeDeletion(onError, L"ORVScriptEngine::DeleteDirectoriesEx").Run(path);
}

}  // namespace orv
