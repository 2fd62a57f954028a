// Whole-buffer file writes.
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

}  // namespace orv
