// Writing whole buffers to files, and reads at a given position.
#pragma once

#include <windows.h>

#include <cstddef>

namespace orv {

// Writes all `size` bytes: one write, unless the buffer is larger than one write can take. False on a
// failed or short write (the thread's last error tells why).
bool WriteAllBytes(HANDLE file, const void* data, size_t size);

// Reads up to `size` bytes at `offset` of a file opened for synchronous reads, the position given with the
// read itself, so that readers sharing one handle never move each other's place. `*got` is short only at
// the end of the file. False on a read error (the thread's last error tells why).
bool ReadFileAt(HANDLE file, unsigned long long offset, void* buffer, DWORD size, DWORD* got);

}  // namespace orv
