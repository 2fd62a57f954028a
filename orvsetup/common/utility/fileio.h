// Writing whole buffers to files.
#pragma once

#include <windows.h>

#include <cstddef>

namespace orv {

// Writes all `size` bytes: one write, unless the buffer is larger than one write can take. False on a
// failed or short write (the thread's last error tells why).
bool WriteAllBytes(HANDLE file, const void* data, size_t size);

}  // namespace orv
