// One resource of the program's own module, found, loaded and locked in one step.
#pragma once

#include <windows.h>

#include <cstddef>

#include "utility/uniquehandle.h"

namespace orv {

// How far loading got; the failing step's last error is kept in `error`.
enum class ResourceStatus { kLoaded, kNotLoaded, kNotLocked, kEmpty };

struct ResourceBytes {
    ResourceStatus status = ResourceStatus::kNotLoaded;
    UniqueResourceData loaded;   // released when the bytes go out of scope
    const void* data = nullptr;
    size_t size = 0;
    DWORD error = 0;  // the last error of the step that failed, read before anything else ran
};

// Finds the resource `name` of `type` in `module`, loads and locks it.
ResourceBytes LoadResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name);

// Where `size` bytes at `data` inside the loaded `module` lie in the module's file, from its section
// table. False when they do not lie wholly in one section's file data.
bool FileOffsetInModule(HMODULE module, const void* data, size_t size, unsigned long long* offset);

}  // namespace orv
