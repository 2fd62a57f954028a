// The uninstaller copies itself into a folder of its own in the temporary folder and runs from there.
#include "selfcopy.h"

#include <cstring>
#include <utility>
#include <vector>

#include "parentcheck.h"
#include "utility/processfolders.h"
#include "utility/scopeguard.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"
#include "workfolder.h"

#define ORV_TRACE_SOURCE L"uninstall"

namespace quellby {
namespace {

constexpr wchar_t kCopyMarker[] = L"QUELLBY_UNINSTALL_COPY";
constexpr DWORD kCompareBlock = 64 * 1024;

std::wstring TemporaryFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    std::wstring folder(buffer, length);
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return folder;
}

// True when both open files hold the same bytes.
bool SameContent(HANDLE a, HANDLE b) {
    LARGE_INTEGER sizeA = {}, sizeB = {};
    if (!::GetFileSizeEx(a, &sizeA) || !::GetFileSizeEx(b, &sizeB) || sizeA.QuadPart != sizeB.QuadPart) return false;
    std::vector<char> blockA(kCompareBlock), blockB(kCompareBlock);
    for (LONGLONG left = sizeA.QuadPart; left > 0;) {
        const DWORD want = static_cast<DWORD>(left < kCompareBlock ? left : kCompareBlock);
        DWORD readA = 0, readB = 0;
        if (!::ReadFile(a, blockA.data(), want, &readA, nullptr) || !::ReadFile(b, blockB.data(), want, &readB, nullptr) ||
            readA != want || readB != want || memcmp(blockA.data(), blockB.data(), want) != 0)
            return false;
        left -= want;
    }
    return true;
}

// Copies `source` to the new file `target`, then opens the copy so that nobody may change or replace it
// and checks that it holds what `source` holds. The open copy, or an invalid handle (traced).
orv::UniqueFileHandle WriteCheckedCopy(const std::wstring& source, const std::wstring& target) {
    if (!::CopyFileW(source.c_str(), target.c_str(), TRUE)) {
        ORV_FAILURE_TRAILER(L"CopyFile failed.", ::GetLastError());
        return orv::UniqueFileHandle();
    }
    orv::UniqueFileHandle copy = orv::CreateFileHandle(target.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    const orv::UniqueFileHandle original =
        orv::CreateFileHandle(source.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!copy.Valid() || !original.Valid()) {
        ORV_FAILURE_TRAILER(L"opening the uninstaller's copy failed.", ::GetLastError());
        return orv::UniqueFileHandle();
    }
    if (!SameContent(copy.Get(), original.Get())) {
        orv::TraceLine(L"the uninstaller's copy %ls is not what was written\r\n", target.c_str());
        return orv::UniqueFileHandle();
    }
    return copy;
}

// Starts `program` with `commandLine` in `workFolder`, letting it inherit `inherited` and nothing else.
// `held` is closed once the process exists. Waits for the process and gives its exit code (0 on failure).
DWORD RunAndWait(const std::wstring& program, const std::wstring& commandLine, const std::wstring& workFolder,
                 HANDLE inherited, orv::UniqueFileHandle held) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<BYTE> listMemory(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listMemory.data());
    if (size == 0 || !::InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        ORV_FAILURE_TRAILER(L"InitializeProcThreadAttributeList failed.", ::GetLastError());
        return 0;
    }
    const auto deleteList = orv::MakeScopeExit([list] { ::DeleteProcThreadAttributeList(list); });
    if (!::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inherited, sizeof(inherited), nullptr,
                                     nullptr)) {
        ORV_FAILURE_TRAILER(L"UpdateProcThreadAttribute failed.", ::GetLastError());
        return 0;
    }
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof(startup);
    startup.lpAttributeList = list;
    PROCESS_INFORMATION created = {};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                          workFolder.empty() ? nullptr : workFolder.c_str(), &startup.StartupInfo, &created)) {
        ORV_FAILURE_TRAILER(L"CreateProcess failed.", ::GetLastError());
        return 0;
    }
    const orv::UniqueHandle process(created.hProcess);
    const orv::UniqueHandle thread(created.hThread);
    held.Reset();  // the copy runs now: its image cannot change, and it may set its own file aside
    orv::TraceLine(L"the uninstaller's copy runs from %ls as process %lu\r\n", FolderOf(program).c_str(),
                   static_cast<unsigned long>(created.dwProcessId));
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
    if (self.empty()) {
        orv::TraceLine(L"the uninstaller's own path is unknown\r\n");
        return 0;
    }
    const std::wstring folder = CreateWorkFolder(TemporaryFolder());
    if (folder.empty()) return 0;
    DWORD exitCode = 0;
    const std::wstring copy = folder + L"\\Uninstall.exe";
    orv::UniqueFileHandle held = WriteCheckedCopy(self, copy);
    const orv::UniqueHandle parent = InheritableSelfHandle();
    if (held.Valid() && parent.Valid()) {
        std::wstring commandLine = L"\"" + copy + L"\"";
        if (!arguments.empty()) commandLine += L" " + arguments;
        commandLine += L" /_from:\"" + FolderOf(self) + L"\" /_parent:" + HandleText(parent.Get());
        ::SetEnvironmentVariableW(kCopyMarker, L"1");  // inherited: the copy never copies itself again
        exitCode = RunAndWait(copy, commandLine, orv::SystemFolder(), parent.Get(), std::move(held));
    }
    RemoveWorkFolder(folder);
    return exitCode;
}

}  // namespace quellby
