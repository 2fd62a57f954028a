// Temporary output files and their placement.
#include "orvscriptengine/archive/stagedfile.h"

#include <cwchar>

#include "utility/fileio.h"
#include "utility/stagingname.h"

namespace orv {
namespace {

constexpr DWORD kInTheWay = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// A name of this process's own, different for each file it stages.
std::wstring TemporaryName(unsigned attempt) {
    static volatile LONG counter = 0;
    wchar_t rest[32];
    std::swprintf(rest, 32, L"%lx-%x.tmp", static_cast<unsigned long>(::InterlockedIncrement(&counter)), attempt);
    return StagingNamePrefix(StagingProcessTag(::GetCurrentProcessId())) + rest;
}

}  // namespace

StagedFile::~StagedFile() { Discard(); }

bool StagedFile::Create(const std::wstring& folder) {
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        temp_ = folder + L"\\" + TemporaryName(attempt);
        file_ = CreateFileHandle(temp_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW);
        if (file_) return true;
        if (::GetLastError() != ERROR_FILE_EXISTS) break;  // a name left by another process: the next one
    }
    temp_.clear();
    return false;
}

bool StagedFile::Close(const FILETIME* modified) {
    if (modified && !::SetFileTime(file_.Get(), nullptr, nullptr, modified)) return false;
    return ::CloseHandle(file_.Release()) != FALSE;
}

bool StagedFile::Place(const std::wstring& path, bool replace) {
    if (::MoveFileExW(temp_.c_str(), path.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
        temp_.clear();
        return true;
    }
    DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS) error = ERROR_ALREADY_EXISTS;
    const DWORD existing = replace && error == ERROR_ACCESS_DENIED ? ::GetFileAttributesW(path.c_str())
                                                                   : INVALID_FILE_ATTRIBUTES;
    if (existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY) && (existing & kInTheWay) &&
        ::SetFileAttributesW(path.c_str(), existing & ~kInTheWay)) {
        if (::MoveFileExW(temp_.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            temp_.clear();
            return true;
        }
        error = ::GetLastError();
        ::SetFileAttributesW(path.c_str(), existing);
    }
    ::SetLastError(error);
    return false;
}

void StagedFile::Discard() {
    file_.Reset();
    if (!temp_.empty()) ::DeleteFileW(temp_.c_str());
    temp_.clear();
}

}  // namespace orv
