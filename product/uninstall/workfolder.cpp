// The copy's own folder: made anew for every run, removed when the copy has ended.
#include "workfolder.h"

#include <windows.h>
#include <ntsecapi.h>

#include "utility/securitydescriptor.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

#define ORV_TRACE_SOURCE L"workfolder"

namespace quellby {
namespace {

constexpr int kNameAttempts = 16;

// "orv" and 32 hex digits from the system's random source; empty when it gives none.
std::wstring RandomName() {
    unsigned char bytes[16];
    if (!::RtlGenRandom(bytes, sizeof(bytes))) return std::wstring();
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring name = L"orv";
    for (unsigned char b : bytes) {
        name += kHex[b >> 4];
        name += kHex[b & 15];
    }
    return name;
}

void DeleteAtRestart(const std::wstring& path) {
    if (::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        orv::TraceLine(L"%ls is deleted at the next start\r\n", path.c_str());
    } else {
        ORV_FAILURE_TRAILER(L"MoveFileEx for the next start failed.", ::GetLastError());
    }
}

}  // namespace

std::wstring CreateWorkFolder(const std::wstring& temporaryFolder) {
    const std::wstring sddl = orv::PrivateFolderSddl();
    if (temporaryFolder.empty() || sddl.empty()) {
        orv::TraceLine(L"no place for the uninstaller's copy\r\n");
        return std::wstring();
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::wstring name = RandomName();
        if (name.empty()) break;
        const std::wstring folder = temporaryFolder + L"\\" + name;
        if (orv::CreateFolderWithSddl(folder, sddl)) return folder;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            ORV_FAILURE_TRAILER(L"CreateDirectory for the uninstaller's copy failed.", error);
            return std::wstring();
        }
    }
    orv::TraceLine(L"no new folder for the uninstaller's copy in %ls\r\n", temporaryFolder.c_str());
    return std::wstring();
}

void RemoveWorkFolder(const std::wstring& folder) {
    if (folder.empty()) return;
    WIN32_FIND_DATAW found;
    orv::UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (find.Valid()) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            // Only the copy and what its script put there live here; a folder among them waits for the restart.
            const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (isFolder || !::DeleteFileW(path.c_str())) DeleteAtRestart(path);
        } while (::FindNextFileW(find.Get(), &found));
    }
    find.Reset();
    if (::RemoveDirectoryW(folder.c_str())) {
        orv::TraceLine(L"removed the uninstaller's folder %ls\r\n", folder.c_str());
    } else {
        DeleteAtRestart(folder);
    }
}

}  // namespace quellby
