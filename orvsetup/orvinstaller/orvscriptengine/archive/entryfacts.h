// What the archive database records of one entry, read without changing it (any thread may ask).
#pragma once

#include <windows.h>

#include <string>

#include "7z.h"

namespace orv {

inline std::wstring EntryName(const CSzArEx& db, UInt32 i) {
    std::wstring name(SzArEx_GetFileNameUtf16(&db, i, nullptr), L'\0');  // with the terminator
    SzArEx_GetFileNameUtf16(&db, i, reinterpret_cast<UInt16*>(&name[0]));
    name.pop_back();
    return name;
}

inline bool EntryModifiedTime(const CSzArEx& db, UInt32 i, FILETIME* time) {
    if (!SzBitWithVals_Check(&db.MTime, i)) return false;
    time->dwLowDateTime = db.MTime.Vals[i].Low;
    time->dwHighDateTime = db.MTime.Vals[i].High;
    return true;
}

inline bool EntryCrc(const CSzArEx& db, UInt32 i, UInt32* crc) {
    if (!SzBitWithVals_Check(&db.CRCs, i)) return false;
    *crc = db.CRCs.Vals[i];
    return true;
}

}  // namespace orv
