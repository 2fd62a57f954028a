// Undoing one journal record. Every undo can run twice (a rollback cut short is run again from the
// start) and none needs new space: files are renamed back or deleted, registry data put back.
#pragma once

#include <cstdint>

#include "utility/journalrecord.h"

namespace orv {

// Undoes `record`; false (traced) when it could not be undone completely.
bool UndoJournalRecord(uint32_t appId, const JournalRecord& record);

// The old file a committed run no longer needs, deleted now or, when still in use, at the next restart
// (then `restartNeeded` is set).
void DropAsideFile(uint32_t appId, const JournalRecord& record, bool* restartNeeded);

// The predefined key and the path below it for a key as journal records name it; null when the text does
// not start with a root these records use.
HKEY JournalRootKey(const std::wstring& key, std::wstring* subkey);

}  // namespace orv
