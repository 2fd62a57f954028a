// Undoing one journal record. Every undo can run twice (a rollback cut short is run again from the
// start) and none needs new space: files are renamed back or deleted, registry data put back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "utility/journalrecord.h"

namespace orv {

// Undoes `records[index]` (the records before it are what the run did earlier); false (traced) when it
// could not be undone completely.
bool UndoJournalRecord(uint32_t appId, const std::vector<JournalRecord>& records, size_t index);

// True, traced, when a folder on the way to `path` (a \\?\ path) is a junction or link: the name is left
// alone then.
bool LiesBehindLink(const std::wstring& path);
// The file a run created at `path` deleted (at the next restart when in use); nothing when it is not there
// or lies behind a link. False, traced, when it cannot be deleted.
bool DeleteCreatedFile(const std::wstring& path);

// The old file a committed run no longer needs, deleted now or, when still in use, at the next restart
// (then `restartNeeded` is set).
void DropAsideFile(uint32_t appId, const JournalRecord& record, bool* restartNeeded);

// The predefined key and the path below it for a key as journal records name it; null when the text does
// not start with a root these records use.
HKEY JournalRootKey(const std::wstring& key, std::wstring* subkey);

}  // namespace orv
