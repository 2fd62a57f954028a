// Handle-based folder listings and identities.
#include "utility/folderidentity.h"

#include <winternl.h>

#include <algorithm>
#include <cstring>

namespace orv {
namespace {

// The system's directory query, which takes the name to look for (the documented calls list everything).
// ntdll is in every process from its start: it is looked up there, not imported.
using QueryDirectoryFile = NTSTATUS(NTAPI*)(HANDLE file, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                                            PIO_STATUS_BLOCK status, PVOID information, ULONG length,
                                            FILE_INFORMATION_CLASS kind, BOOLEAN single, PUNICODE_STRING name,
                                            BOOLEAN restart);

QueryDirectoryFile DirectoryQuery() {
    static const QueryDirectoryFile query = reinterpret_cast<QueryDirectoryFile>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryDirectoryFile")));
    return query;
}

// The entries of one buffer the system filled with FILE_ID_BOTH_DIR_INFO records, "." and ".." left out.
void AddEntries(const void* buffer, std::vector<ListedEntry>* entries) {
    const BYTE* at = static_cast<const BYTE*>(buffer);
    for (;;) {
        const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
        std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
        if (name != L"." && name != L"..")
            entries->push_back({std::move(name),
                                std::wstring(info->ShortName, std::min<size_t>(info->ShortNameLength / sizeof(wchar_t), 12)),
                                info->FileAttributes, static_cast<ULONGLONG>(info->FileId.QuadPart)});
        if (info->NextEntryOffset == 0) break;
        at += info->NextEntryOffset;
    }
}

}  // namespace

bool IdentityOf(HANDLE handle, FolderIdentity* identity) {
    // The volume and the id as FileIdInfo gives them (Windows 8 on): some systems compute the serial
    // number of BY_HANDLE_FILE_INFORMATION slowly. A listing's 64-bit id is the low half of the 128-bit one.
    struct {
        ULONGLONG volume;
        BYTE id[16];
    } ids = {};
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    constexpr FILE_INFO_BY_HANDLE_CLASS kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
    if (::GetFileInformationByHandleEx(handle, kFileIdInfo, &ids, sizeof(ids)) &&
        ::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag))) {
        identity->volume = ids.volume;
        std::memcpy(&identity->id, ids.id, sizeof(identity->id));
        identity->plainFolder = (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(handle, &info)) return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->id = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity->plainFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                            !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    return true;
}

std::wstring VerbatimPath(const std::wstring& path) {
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> buffer(needed);
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, buffer.data(), nullptr);
    if (length == 0 || length >= needed) return std::wstring();
    const std::wstring full(buffer.data(), length);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

UniqueFileHandle OpenFolderHandle(const std::wstring& verbatim, bool followLink) {
    return UniqueFileHandle(::CreateFileW(verbatim.c_str(),
                                          FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | DELETE | SYNCHRONIZE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                                          nullptr));
}

std::vector<ListedEntry> ListFolder(HANDLE folder) {
    std::vector<ListedEntry> entries;
    std::vector<ULONGLONG> buffer(64 * 1024 / sizeof(ULONGLONG));
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (::GetFileInformationByHandleEx(folder, kind, buffer.data(), static_cast<DWORD>(buffer.size() * 8))) {
        kind = FileIdBothDirectoryInfo;
        AddEntries(buffer.data(), &entries);
    }
    return entries;
}

std::vector<ListedEntry> ListFolderEntry(HANDLE folder, const std::wstring& name) {
    std::vector<ListedEntry> entries;
    const QueryDirectoryFile query = DirectoryQuery();
    if (!query) return entries;
    std::vector<ULONGLONG> buffer(4096 / sizeof(ULONGLONG));
    UNICODE_STRING mask;
    mask.Buffer = const_cast<wchar_t*>(name.c_str());
    mask.Length = mask.MaximumLength = static_cast<USHORT>(std::min<size_t>(name.size() * sizeof(wchar_t), 0xFFFE));
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
        IO_STATUS_BLOCK status = {};
        const NTSTATUS result = query(folder, nullptr, nullptr, nullptr, &status, buffer.data(),
                                                     static_cast<ULONG>(buffer.size() * 8),
                                                     static_cast<FILE_INFORMATION_CLASS>(FileIdBothDirectoryInformation),
                                                     FALSE, restart ? &mask : nullptr, restart);
        if (result < 0 || status.Information == 0) break;  // no (more) entries of that name
        AddEntries(buffer.data(), &entries);
    }
    return entries;
}

bool IsListedFolder(HANDLE folder, const ListedEntry& entry, ULONGLONG volume) {
    FolderIdentity identity;
    return IdentityOf(folder, &identity) && identity.plainFolder && identity.volume == volume &&
           identity.id == entry.id;
}

bool NoLinkOnTheWay(const std::wstring& from, const std::wstring& path) {
    if (from.empty()) return false;
    std::wstring folder = from;
    size_t next = from.back() == L'\\' ? from.size() - 1 : from.size();
    for (;;) {
        const DWORD attributes = ::GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return true;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
        next = path.find(L'\\', next + 1);
        if (next == std::wstring::npos) return true;
        folder = path.substr(0, next);
    }
}

}  // namespace orv
