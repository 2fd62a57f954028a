// The file this process's program was loaded from, opened once at start and held: the payload and anything
// else the setup reads from its own file are read through this one handle, never by name again.
#pragma once

#include <windows.h>

#include "utility/uniquehandle.h"

namespace orv {

enum class ProgramFileStatus {
    kOpen,               // held, and its headers are those of the loaded image
    kCannotOpen,         // not found, or someone holds it open for writing or deleting
    kNotTheLoadedImage,  // a file at that path, but not the one the process was loaded from
};

class ProgramFile {
public:
    // The process's own program file, opened on the first call (the setup makes it at its start).
    static const ProgramFile& Instance();

    // Opens `path` for reading, shared for reading only, so nobody can write, rename or delete it while it
    // is held, and keeps it only when its headers and section table are those of `module`'s mapped image
    // and it holds every section's data.
    ProgramFile(const wchar_t* path, HMODULE module);
    ProgramFile(const ProgramFile&) = delete;
    ProgramFile& operator=(const ProgramFile&) = delete;

    bool Valid() const { return status_ == ProgramFileStatus::kOpen; }
    ProgramFileStatus Status() const { return status_; }
    DWORD Error() const { return error_; }  // the system's code when the file could not be opened or read
    HANDLE Handle() const { return file_.Get(); }
    unsigned long long Size() const { return size_; }
    // A second handle to the same open file, for a reader that keeps its own; invalid when none is held.
    UniqueFileHandle Duplicate() const;

private:
    UniqueFileHandle file_;
    ProgramFileStatus status_ = ProgramFileStatus::kCannotOpen;
    DWORD error_ = 0;
    unsigned long long size_ = 0;
};

}  // namespace orv
