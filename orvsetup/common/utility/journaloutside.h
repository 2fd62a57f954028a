// Undoing, at a rollback, a change a script made outside the engine and recorded with its undo ("file",
// "service" or "server" and its target). The record is input like any other read back: the undo acts only
// on what the journal shows is the run's own, and everything it refuses is traced.
#pragma once

#include <cstddef>
#include <vector>

#include "utility/journalrecord.h"

namespace orv {

// Undoes the outside change `records[index]`; the records before it are what the run did earlier. "file"
// deletes a plain file reached through no junction or link; "service" stops and deletes a service whose
// program, and "server" unregisters a DLL, that an earlier record shows this run created. False (traced)
// when refused or failed.
bool UndoOutsideChange(const std::vector<JournalRecord>& records, size_t index);

}  // namespace orv
