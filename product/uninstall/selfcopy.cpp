// The uninstaller copies itself into the temporary folder and runs from there.
#include "selfcopy.h"

#include <vector>

#include "utility/trace.h"
#include "utility/uniquehandle.h"

#define ORV_TRACE_SOURCE L"uninstall"

namespace quellby {
namespace {

constexpr int kCopyAttempts = 100;
constexpr wchar_t kCopyMarker[] = L"QUELLBY_UNINSTALL_COPY";

std::wstring TemporaryFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    return FolderOf(std::wstring(buffer, length));  // without the trailing backslash
}

// A new file in `folder` holding a copy of `source`; empty when none could be made.
std::wstring CopyUnderNewName(const std::wstring& source, const std::wstring& folder) {
    const std::wstring stem = folder + L"\\Uninstall_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                              std::to_wstring(::GetTickCount()) + L"_";
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        const std::wstring target = stem + std::to_wstring(attempt) + L".exe";
        if (::CopyFileW(source.c_str(), target.c_str(), TRUE)) return target;
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            ORV_FAILURE_TRAILER(L"CopyFile failed.", error);
            return std::wstring();
        }
    }
    orv::TraceLine(L"no free name for the uninstaller's copy in %ls\r\n", folder.c_str());
    return std::wstring();
}

// Starts `program` with `commandLine` in `workFolder`, waits for it and gives its exit code (0 on failure).
DWORD RunAndWait(const std::wstring& program, std::wstring commandLine, const std::wstring& workFolder) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          workFolder.empty() ? nullptr : workFolder.c_str(), &startup, &created)) {
        ORV_FAILURE_TRAILER(L"CreateProcess failed.", ::GetLastError());
        return 0;
    }
    const orv::UniqueHandle process(created.hProcess);
    const orv::UniqueHandle thread(created.hThread);
    DWORD exitCode = 0;
    if (::WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process.Get(), &exitCode)) {
        ORV_FAILURE_TRAILER(L"waiting for the uninstaller's copy failed.", ::GetLastError());
        return 0;
    }
    return exitCode;
}

}  // namespace

std::wstring OwnProgramPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        if (buffer.size() >= 32768) return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring FolderOf(const std::wstring& path) {
    std::wstring folder = path;
    while (folder.size() > 1 && folder.back() == L'\\') folder.pop_back();
    const size_t slash = folder.find_last_of(L'\\');
    if (slash == std::wstring::npos) return folder;
    return folder.substr(0, slash);
}

void DeleteNowOrAtRestart(const std::wstring& path) {
    if (path.empty() || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    if (::DeleteFileW(path.c_str())) return;
    ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

std::wstring SetAsidePath(const std::wstring& copyPath) { return copyPath + L".old"; }

void SetOwnFileAside(const std::wstring& programPath) {
    const std::wstring aside = SetAsidePath(programPath);
    if (!::MoveFileExW(programPath.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ORV_FAILURE_TRAILER(L"MoveFileEx failed.", ::GetLastError());
        return;
    }
    ::MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);  // needs administrator rights
}

bool IsTemporaryCopy() { return ::GetEnvironmentVariableW(kCopyMarker, nullptr, 0) != 0; }

DWORD RunFromTemporaryCopy(const std::wstring& arguments) {
    const std::wstring self = OwnProgramPath();
    const std::wstring temp = TemporaryFolder();
    if (self.empty() || temp.empty()) {
        orv::TraceLine(L"the uninstaller's own path or the temporary folder is unknown\r\n");
        return 0;
    }
    const std::wstring copy = CopyUnderNewName(self, temp);
    if (copy.empty()) return 0;
    std::wstring commandLine = L"\"" + copy + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    commandLine += L" /_from:\"" + FolderOf(self) + L"\"";
    ::SetEnvironmentVariableW(kCopyMarker, L"1");  // inherited: the copy never copies itself again
    const DWORD exitCode = RunAndWait(copy, commandLine, temp);
    DeleteNowOrAtRestart(copy);
    DeleteNowOrAtRestart(SetAsidePath(copy));
    return exitCode;
}

}  // namespace quellby
