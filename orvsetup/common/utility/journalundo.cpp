// Undoing journal records: files renamed back or deleted, registry keys and values put back as they were.
#include <windows.h>

#include "utility/journalundo.h"
#include "utility/folderidentity.h"
#include "utility/journaloutside.h"
#include "utility/journalplace.h"
#include "utility/stagingname.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace {

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A read-only file in the way would refuse the rename or the deletion.
void ClearReadOnly(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

// The folders of `path`'s parent that a deletion of the run took away.
void MakeParents(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash < 7) return;
    const std::wstring parent = path.substr(0, slash);
    if (Exists(parent)) return;
    MakeParents(parent);
    ::CreateDirectoryW(parent.c_str(), nullptr);
}

// The path's volume root ("\\?\C:\" or "C:\"); empty when it has none.
std::wstring VolumeRoot(const std::wstring& path) {
    const size_t skip = path.compare(0, 4, L"\\\\?\\") == 0 ? 4 : 0;
    const size_t slash = path.find(L'\\', skip);
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool Failed(const wchar_t* what, const std::wstring& path) {
    TraceLine(L"rollback: %ls %ls failed, error %lu\r\n", what, path.c_str(), ::GetLastError());
    return false;
}

// Both names lead to one file (a second name made for a file in use).
bool SameFile(const std::wstring& a, const std::wstring& b) {
    BY_HANDLE_FILE_INFORMATION infoA = {}, infoB = {};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    UniqueFileHandle fileA(::CreateFileW(a.c_str(), 0, share, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    UniqueFileHandle fileB(::CreateFileW(b.c_str(), 0, share, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return fileA && fileB && ::GetFileInformationByHandle(fileA.Get(), &infoA) &&
           ::GetFileInformationByHandle(fileB.Get(), &infoB) && infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
           infoA.nFileIndexHigh == infoB.nFileIndexHigh && infoA.nFileIndexLow == infoB.nFileIndexLow;
}

bool UndoFileAside(uint32_t appId, const JournalRecord& record) {
    if (!IsAsidePath(appId, record.other)) return Failed(L"a strange old-file name for", record.path);
    if (!Exists(record.other)) return true;  // never moved, or already back
    if (SameFile(record.other, record.path)) {  // the file in use stayed where it was
        ClearReadOnly(record.other);
        if (::DeleteFileW(record.other.c_str())) return true;
        return ::MoveFileExW(record.other.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ||
               Failed(L"deleting the second name of", record.path);
    }
    if (LiesBehindLink(record.path)) return false;
    MakeParents(record.path);
    ClearReadOnly(record.path);
    if (::MoveFileExW(record.other.c_str(), record.path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    return Failed(L"putting back", record.path);
}

bool UndoFileMoved(const JournalRecord& record) {
    if (!Exists(record.other) || Exists(record.path)) return true;
    if (LiesBehindLink(record.path) || LiesBehindLink(record.other)) return false;
    MakeParents(record.path);
    if (::MoveFileExW(record.other.c_str(), record.path.c_str(), 0)) return true;
    return Failed(L"moving back", record.other);
}

bool UndoKeyCreated(const JournalRecord& record) {
    std::wstring subkey;
    const HKEY root = JournalRootKey(record.path, &subkey);
    if (!root || subkey.empty()) return Failed(L"a strange key", record.path);
    UniqueHKey key;
    const LONG opened = ::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_ALL_ACCESS | record.view, key.Put());
    if (opened == ERROR_FILE_NOT_FOUND) return true;
    if (opened != ERROR_SUCCESS || ::RegDeleteTreeW(key.Get(), nullptr) != ERROR_SUCCESS) {
        ::SetLastError(static_cast<DWORD>(opened));
        return Failed(L"emptying key", record.path);
    }
    key.Reset();
    const LONG deleted = ::RegDeleteKeyExW(root, subkey.c_str(), record.view, 0);
    if (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) return true;
    ::SetLastError(static_cast<DWORD>(deleted));
    return Failed(L"deleting key", record.path);
}

bool UndoValue(const JournalRecord& record) {
    std::wstring subkey;
    const HKEY root = JournalRootKey(record.path, &subkey);
    if (!root) return Failed(L"a strange key", record.path);
    UniqueHKey key;
    LONG result = record.hadValue
                      ? ::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | record.view, nullptr,
                                          key.Put(), nullptr)
                      : ::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_SET_VALUE | record.view, key.Put());
    if (!record.hadValue && result == ERROR_FILE_NOT_FOUND) return true;
    if (result == ERROR_SUCCESS) {
        const wchar_t* name = record.other.empty() ? nullptr : record.other.c_str();
        result = record.hadValue ? ::RegSetValueExW(key.Get(), name, 0, record.valueType, record.data.data(),
                                                    static_cast<DWORD>(record.data.size()))
                                 : ::RegDeleteValueW(key.Get(), name);
        if (!record.hadValue && result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
    }
    if (result == ERROR_SUCCESS) return true;
    ::SetLastError(static_cast<DWORD>(result));
    return Failed(L"putting back value in", record.path);
}

bool UndoKeyDeleted(const JournalRecord& record) {
    std::wstring subkey;
    const HKEY root = JournalRootKey(record.path, &subkey);
    UniqueHKey key;
    if (root && ::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_READ | record.view, nullptr, key.Put(),
                                  nullptr) == ERROR_SUCCESS)
        return true;
    return Failed(L"making key", record.path);
}

}  // namespace

// A rollback runs elevated, maybe long after the run was killed: a folder on the way to a recorded name
// may since have been made a junction or link by whoever can write there, and the name would then lead
// elsewhere. Such a name is left alone.
bool LiesBehindLink(const std::wstring& path) {
    if (NoLinkOnTheWay(VolumeRoot(path), path)) return false;
    TraceLine(L"rollback: %ls lies behind a junction or link and is left alone\r\n", path.c_str());
    return true;
}

bool DeleteCreatedFile(const std::wstring& path) {
    if (!Exists(path) || LiesBehindLink(path)) return true;
    ClearReadOnly(path);
    if (::DeleteFileW(path.c_str())) return true;
    if (::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        TraceLine(L"rollback: %ls is in use and goes at the next restart\r\n", path.c_str());
        return true;
    }
    return Failed(L"deleting", path);
}

HKEY JournalRootKey(const std::wstring& key, std::wstring* subkey) {
    static const struct {
        const wchar_t* name;
        HKEY root;
    } kRoots[] = {{L"HKLM", HKEY_LOCAL_MACHINE}, {L"HKU", HKEY_USERS}, {L"HKCR", HKEY_CLASSES_ROOT},
                  {L"HKCC", HKEY_CURRENT_CONFIG}};
    for (const auto& root : kRoots) {
        const size_t length = wcslen(root.name);
        if (key.compare(0, length, root.name) != 0) continue;
        if (key.size() == length) return subkey->clear(), root.root;
        if (key[length] == L'\\') return *subkey = key.substr(length + 1), root.root;
    }
    return nullptr;
}

// The temporary files a killed extraction left in `folder`: plain files named after its process only.
static void SweepStaging(const JournalRecord& record) {
    if (!Exists(record.path) || LiesBehindLink(record.path)) return;
    const std::wstring prefix = StagingNamePrefix(record.other);
    WIN32_FIND_DATAW found;
    const UniqueFindHandle find(::FindFirstFileExW((record.path + L"\\" + prefix + L"*.tmp").c_str(), FindExInfoBasic,
                                                   &found, FindExSearchNameMatch, nullptr, 0));
    if (!find) return;
    do {
        const std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::wstring path = record.path + L"\\" + name;
        ClearReadOnly(path);
        if (!::DeleteFileW(path.c_str())) Failed(L"deleting the temporary file", path);
    } while (::FindNextFileW(find.Get(), &found));
}

bool UndoJournalRecord(uint32_t appId, const std::vector<JournalRecord>& records, size_t index) {
    const JournalRecord& record = records[index];
    switch (record.kind) {
        case JournalKind::kFileCreated: return DeleteCreatedFile(record.path);
        case JournalKind::kFolderCreated:
            if (!Exists(record.path) || LiesBehindLink(record.path) || ::RemoveDirectoryW(record.path.c_str())) return true;
            TraceLine(L"rollback: folder %ls is not empty and stays\r\n", record.path.c_str());
            return true;
        case JournalKind::kFileAside: return UndoFileAside(appId, record);
        case JournalKind::kFileMoved: return UndoFileMoved(record);
        case JournalKind::kKeyCreated: return UndoKeyCreated(record);
        case JournalKind::kValueOld: return UndoValue(record);
        case JournalKind::kKeyDeleted: return UndoKeyDeleted(record);
        case JournalKind::kOutside: return UndoOutsideChange(records, index);
        case JournalKind::kStaging:
            SweepStaging(record);
            return true;
        case JournalKind::kKeep:
        case JournalKind::kCommit: return true;
    }
    return true;
}

void DropAsideFile(uint32_t appId, const JournalRecord& record, bool* restartNeeded) {
    if (record.kind != JournalKind::kFileAside || !IsAsidePath(appId, record.other) || !Exists(record.other)) return;
    ClearReadOnly(record.other);
    if (::DeleteFileW(record.other.c_str())) return;
    if (::MoveFileExW(record.other.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        *restartNeeded = true;
        return;
    }
    TraceLine(L"the old file %ls cannot be deleted, error %lu\r\n", record.other.c_str(), ::GetLastError());
}

}  // namespace orv
