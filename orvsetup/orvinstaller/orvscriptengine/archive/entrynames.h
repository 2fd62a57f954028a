// Entry names of an archive as Windows will take them.
#pragma once

#include <string>
#include <vector>

namespace orv {

// Whether an entry name stays inside the destination folder: not absolute, no drive, UNC or stream
// prefix, no ".." (nor any other all-dots) component, no device name. Either slash separates folders.
bool IsSafeEntryName(const std::wstring& name);

// Whether a path component names a device: CON, PRN, AUX, NUL, COM0-9, LPT0-9 (the superscript digits
// ¹ ² ³ too), CONIN$ or CONOUT$, in any letter case, with any extension, trailing dots and spaces.
bool IsDeviceName(const std::wstring& part);

// Whether two of the names would be one file or folder on Windows: they differ only in letter case,
// trailing dots or spaces of a component, or one names a component by a short 8.3 alias ("PROGRA~1") that
// another's long name may be given. The first such pair is returned.
bool FindNameClash(const std::vector<std::wstring>& names, std::wstring* first, std::wstring* second);

}  // namespace orv
