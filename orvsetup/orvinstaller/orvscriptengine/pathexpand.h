// Environment-variable expansion of path arguments into a MAX_PATH buffer.
#pragma once

#include <windows.h>

#include <string>

namespace orv {

// Expands %NAME% references in `path`. False when the expansion fails or does not fit in MAX_PATH
// units with its terminator; the result is then never used, not even cut short.
bool ExpandPath(const std::wstring& path, std::wstring& expanded);

}  // namespace orv
