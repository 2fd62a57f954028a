// What an archive's header declares, checked when it is opened and before anything is allocated for its
// folders or written: every entry has a name, no two entries name one file, every folder's coders can be
// decoded here and declare no more than their packed bytes can hold, and every folder and file fits the
// memory and the disk it needs.
#pragma once

#include <string>

#include "7z.h"

namespace orv {

// Whether a folder is decoded as it is written: its coders are of a kind decoded piece by piece, and its
// files can be checked one by one. Other folders are decoded whole into memory.
bool IsStreamedFolder(const CSzArEx& db, UInt32 folder);

// SZ_OK, or the reason the archive is refused (traced): SZ_ERROR_ARCHIVE for a header that is not sound,
// SZ_ERROR_UNSUPPORTED for a method this setup cannot decode, SZ_ERROR_MEM for what does not fit.
int CheckArchive(const CSzArEx& db, const std::wstring& destination);

}  // namespace orv
