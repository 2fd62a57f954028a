// File-system helpers for end-to-end tests (UTF-16 paths).
#pragma once

#include <windows.h>

#include <string>

namespace orv {
namespace test {

// A fresh, empty folder under %TEMP%, removed with everything in it when the object goes away.
class TempDir {
public:
    explicit TempDir(const std::wstring& prefix = L"orvtest");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool Ok() const { return !path_.empty(); }
    // Full path without a trailing backslash; empty when the folder could not be made.
    const std::wstring& Path() const { return path_; }
    // Path() + "\" + relative.
    std::wstring Sub(const std::wstring& relative) const;

private:
    std::wstring path_;
};

bool FileExists(const std::wstring& path);  // an existing file (not a folder)
bool DirExists(const std::wstring& path);
// Deletes a file or a folder tree (read-only attributes are cleared). True when nothing is left.
bool RemoveTree(const std::wstring& path);
// Folder of the running test program, without a trailing backslash.
std::wstring ExeDirectory();

// Under Wine: the Unix path of a Windows path (empty elsewhere), and a Unix symbolic link made or removed
// with the system's own ln and rm (Wine runs Unix programs, but cannot wait for them: poll for the
// effect). False where the program cannot be started.
std::string UnixPath(const std::wstring& path);
bool MakeUnixSymlink(const std::string& target, const std::string& link);
bool RemoveUnixSymlink(const std::string& link);
// Runs `script` with bash and waits for it (up to `timeoutMs`) through the file it must write
// last, whole (moved into place), `doneFile` (a Windows path, deleted first); that file's content, or
// nothing when it never came.
std::string RunUnixShell(const std::string& script, const std::wstring& doneFile, DWORD timeoutMs = 10000);

// A junction at `link` to `target`, made the way the system's own tools make one; under Wine, where that
// fails, a Unix symbolic link, which Wine shows as a directory reparse point.
bool MakeJunction(const std::wstring& link, const std::wstring& target);

// Polls `condition` every 50 ms for up to timeoutMs; its last answer.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs = 5000) {
    for (DWORD waited = 0; !condition(); waited += 50) {
        if (waited >= timeoutMs) return false;
        ::Sleep(50);
    }
    return true;
}

bool ReadFileBytes(const std::wstring& path, std::string* out);
// Creates or replaces the file.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

}  // namespace test
}  // namespace orv
