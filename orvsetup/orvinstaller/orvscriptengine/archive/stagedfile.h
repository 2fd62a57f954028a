// An output file written under a temporary name in the folder it goes to, and given its own name only once
// its content is complete and checked: a file that fails never takes the place of the one that was there.
#pragma once

#include <windows.h>

#include <string>

#include "utility/uniquehandle.h"

namespace orv {

class StagedFile {
public:
    StagedFile() = default;
    // Deletes the temporary file unless it was placed.
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates a new temporary file in `folder`, open for writing. False with the system's error.
    bool Create(const std::wstring& folder);
    bool Created() const { return file_.Valid(); }
    HANDLE Handle() const { return file_.Get(); }
    // Closes the content, its modification time set when one is given. False with the system's error.
    bool Close(const FILETIME* modified);
    // Renames the closed file to `path`, taking the place of a file there only with `replace`. A read-only,
    // hidden or system file is replaced as any other (a failed replacement leaves its attributes as they
    // were); the name is replaced, never written through, so other hard links of the old file keep it.
    // False with the system's error (ERROR_ALREADY_EXISTS without `replace`).
    bool Place(const std::wstring& path, bool replace);
    // Deletes the temporary file now.
    void Discard();

private:
    std::wstring temp_;
    UniqueFileHandle file_;
};

}  // namespace orv
