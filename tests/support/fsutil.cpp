#include "fsutil.h"

#include <cstring>
#include <vector>

#include "debugrun.h"
#include "handletable.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace test {
namespace {

std::wstring TrimSlash(std::wstring p) {
    while (p.size() > 3 && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
    return p;
}

}  // namespace

TempDir::TempDir(const std::wstring& prefix) {
    wchar_t tmp[MAX_PATH + 1];
    DWORD n = ::GetTempPathW(MAX_PATH + 1, tmp);
    if (n == 0 || n > MAX_PATH) return;
    std::wstring base = TrimSlash(std::wstring(tmp, n));
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::wstring candidate = base + L"\\" + prefix + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(attempt);
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
}

TempDir::~TempDir() {
    if (!path_.empty()) RemoveTree(path_);
}

std::wstring TempDir::Sub(const std::wstring& relative) const { return path_ + L"\\" + relative; }

bool FileExists(const std::wstring& path) {
    DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::wstring& path) {
    DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveTree(const std::wstring& rawPath) {
    if (rawPath.empty()) return false;
    const std::wstring path = TrimSlash(rawPath);
    DWORD attrs = ::GetFileAttributesW(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return true;  // already gone
    if (attrs & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY) || (attrs & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (attrs & FILE_ATTRIBUTE_DIRECTORY) return ::RemoveDirectoryW(path.c_str()) != FALSE;
        return ::DeleteFileW(path.c_str()) != FALSE;
    }
    std::vector<std::wstring> children;
    {
        WIN32_FIND_DATAW fd;
        const UniqueFindHandle find(::FindFirstFileW((path + L"\\*").c_str(), &fd));
        if (find.Valid()) {
            do {
                std::wstring name = fd.cFileName;
                if (name != L"." && name != L"..") children.push_back(path + L"\\" + name);
            } while (::FindNextFileW(find.Get(), &fd));
        }
    }
    bool ok = true;
    for (const auto& c : children) ok = RemoveTree(c) && ok;
    return ::RemoveDirectoryW(path.c_str()) != FALSE && ok;
}

std::wstring ExeDirectory() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, &buf[0], static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(buf.size() * 2);
    }
    size_t slash = buf.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : buf.substr(0, slash);
}

std::string UnixPath(const std::wstring& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) return std::string();
    std::string result = name;
    ::HeapFree(::GetProcessHeap(), 0, name);
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

namespace {

// Starts a program of /bin with a command line of its own (Wine starts Unix programs; it splits the command
// line at spaces and keeps quotes as they are, so paths with spaces cannot be passed). Its handle cannot be
// waited for: callers look for its effect. Wine 8 gives no process handle for it and leaves a handle of its
// own on the program's file open; that one is closed here.
bool RunUnixProgram(const char* program, std::string commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    const std::string path = std::string("Z:\\bin\\") + program;
    const std::set<USHORT> before = KernelHandles();
    if (!::CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    if (!process.hProcess) CloseNewFileHandlesOf(before, std::wstring(program, program + std::strlen(program)));
    const UniqueHandle thread(process.hThread);
    const UniqueHandle started(process.hProcess);
    return true;
}

}  // namespace

bool MakeUnixSymlink(const std::string& target, const std::string& link) {
    return !target.empty() && !link.empty() && target.find(' ') == std::string::npos &&
           link.find(' ') == std::string::npos && RunUnixProgram("ln", "ln -sfn " + target + " " + link);
}

bool RemoveUnixSymlink(const std::string& link) { return RunUnixProgram("rm", "rm -f " + link); }

std::string RunUnixShell(const std::string& script, const std::wstring& doneFile, DWORD timeoutMs) {
    ::DeleteFileW(doneFile.c_str());
    std::string result;
    if (!RunUnixProgram("bash", "bash -c \"" + script + "\"")) return result;
    WaitUntil([&] { return ::GetFileAttributesW(doneFile.c_str()) != INVALID_FILE_ATTRIBUTES; }, timeoutMs);
    ReadFileBytes(doneFile, &result);
    ::DeleteFileW(doneFile.c_str());
    return result;
}

bool ReadFileBytes(const std::wstring& path, std::string* out) {
    if (!out) return false;
    const UniqueFileHandle f = CreateFileHandle(path.c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (!f) return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(f.Get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
    std::string data(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < data.size()) {
        DWORD got = 0;
        if (!::ReadFile(f.Get(), &data[done], static_cast<DWORD>(data.size() - done), &got, nullptr)) return false;
        if (got == 0) break;
        done += got;
    }
    data.resize(done);
    *out = std::move(data);
    return true;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    const UniqueFileHandle f = CreateFileHandle(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (!f) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        if (!::WriteFile(f.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put, nullptr) ||
            put == 0)
            return false;
        done += put;
    }
    return true;
}

namespace {

// Under Wine, a Unix symbolic link: Wine shows it as a directory reparse point, as Windows shows a junction.
bool MakeUnixLink(const std::wstring& link, const std::wstring& target) {
    const std::wstring parent = link.substr(0, link.rfind(L'\\'));
    const std::wstring leaf = link.substr(link.rfind(L'\\') + 1);
    std::string name(leaf.size() * 3, '\0');
    name.resize(::WideCharToMultiByte(CP_UTF8, 0, leaf.c_str(), static_cast<int>(leaf.size()), &name[0],
                                      static_cast<int>(name.size()), nullptr, nullptr));
    const std::string unixParent = UnixPath(parent);
    return !unixParent.empty() && MakeUnixSymlink(UnixPath(target), unixParent + "/" + name) &&
           WaitUntil([&link] {
               const DWORD attributes = ::GetFileAttributesW(link.c_str());
               return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
           });
}

}  // namespace

// A junction at `link` to `target`, made the way the system's own tools make one.
bool MakeJunction(const std::wstring& link, const std::wstring& target) {
    if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
    UniqueFileHandle handle = CreateFileHandle(link.c_str(), GENERIC_WRITE, 0, OPEN_EXISTING,
                                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    if (!handle) return false;
    const std::wstring substitute = L"\\??\\" + target;
    const USHORT substituteBytes = static_cast<USHORT>(substitute.size() * sizeof(wchar_t));
    const USHORT printBytes = static_cast<USHORT>(target.size() * sizeof(wchar_t));
    std::vector<BYTE> buffer(8 + 8 + substituteBytes + 2 + printBytes + 2, 0);
    auto put16 = [&buffer](size_t at, USHORT v) { buffer[at] = BYTE(v), buffer[at + 1] = BYTE(v >> 8); };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    memcpy(buffer.data(), &tag, 4);
    put16(4, static_cast<USHORT>(buffer.size() - 8));
    put16(8, 0);
    put16(10, substituteBytes);
    put16(12, substituteBytes + 2);
    put16(14, printBytes);
    memcpy(buffer.data() + 16, substitute.c_str(), substituteBytes);
    memcpy(buffer.data() + 16 + substituteBytes + 2, target.c_str(), printBytes);
    DWORD returned = 0;
    const bool ok = ::DeviceIoControl(handle.Get(), FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      nullptr, 0, &returned, nullptr) != FALSE;
    handle.Reset();
    if (ok && (::GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    ::RemoveDirectoryW(link.c_str());
    return MakeUnixLink(link, target);
}

}  // namespace test
}  // namespace orv
