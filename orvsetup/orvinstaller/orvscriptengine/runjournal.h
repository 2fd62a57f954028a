// The run's install journal as the actions see it: a change listener that records each change before it
// is made, old files moved aside and old registry data kept; and the commit and rollback of the run.
#pragma once

#include <cstdint>
#include <string>

namespace orv {

// Finishes what a dead run of product `appId` left, then opens this run's journal and starts listening.
// False (traced) when the journal cannot be opened: then nothing may be changed.
bool StartRunJournal(uint32_t appId);
// Whether a journal is being written for this run.
bool RunJournalActive();
// The run completed its install: kept old files deleted (`restartNeeded`: one is still in use and goes at
// the next restart). False when no journal was open.
bool CommitRunJournal(bool* restartNeeded);
// Every recorded change undone, newest first. Any thread, any number of times.
void RollbackRunJournal();
// The file `path` (made full) stays as the run leaves it even when the run rolls back. False when no
// journal is open or the mark cannot be written.
bool KeepOnRollback(const std::wstring& path);

}  // namespace orv
