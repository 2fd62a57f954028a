// Whole-buffer file writes and positional reads.
#include "utility/fileio.h"

namespace orv {

bool WriteAllBytes(HANDLE file, const void* data, size_t size) {
    const BYTE* at = static_cast<const BYTE*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(size > 0x40000000u ? 0x40000000u : size);
        DWORD written = 0;
        if (!::WriteFile(file, at, chunk, &written, nullptr)) return false;
        if (written != chunk) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        at += chunk;
        size -= chunk;
    }
    return true;
}

bool ReadFileAt(HANDLE file, unsigned long long offset, void* buffer, DWORD size, DWORD* got) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    *got = 0;
    if (::ReadFile(file, buffer, size, got, &at)) return true;
    return ::GetLastError() == ERROR_HANDLE_EOF;  // a read that starts at or past the end reads nothing
}

}  // namespace orv
