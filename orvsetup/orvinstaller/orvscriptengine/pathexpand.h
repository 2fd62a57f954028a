// Environment-variable expansion: of path arguments into a MAX_PATH buffer, and of text of any length.
#pragma once

#include <windows.h>

#include <string>

namespace orv {

// Expands %NAME% references in `path`. False when the expansion fails or does not fit in MAX_PATH
// units with its terminator; the result is then never used, not even cut short.
bool ExpandPath(const std::wstring& path, std::wstring& expanded);

// Expands %NAME% references in text that is not a path, as long as the system expands (32K units);
// text without a '%' is taken as it is, at any length. False when the expansion fails.
bool ExpandText(const std::wstring& text, std::wstring& expanded);

}  // namespace orv
