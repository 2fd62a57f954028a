// The install journal of a run: every change the actions make is recorded before it is made, so that a
// run that stops before its commit, or a process that is killed, leaves the machine as it was.
//
// Each record is one WriteFile on a file this process holds exclusively (a live run is told from a dead
// one by that), with no buffering of ours: what was written survives the process. The file is flushed
// once, at the commit. Old files are moved aside on their own volume, never copied, and rolling back only
// renames, deletes and puts registry data back, so it never needs new space.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "utility/journalrecord.h"
#include "utility/uniquehandle.h"

namespace orv {

class Journal {
public:
    Journal() = default;
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Opens a new journal for product `appId`; an earlier one must have been recovered first. False,
    // traced, when it cannot be made.
    bool Begin(uint32_t appId);
    bool Active();

    // Around each change: Enter before its records (false once the run is ending or no journal is open:
    // the change must not be made), Leave after the change was made or given up.
    bool Enter();
    void Leave();

    // One record; false when it could not be written (the change must not be made).
    bool Append(const JournalRecord& record);
    // Records the old file at `path` (a \\?\ path) and moves it aside; false when either failed.
    bool MoveAside(const std::wstring& path);

    // The run went past its install: the commit record, the flush, the old files deleted (those in use at
    // the next restart: then `restartNeeded`) and the journal removed. False when no journal was open.
    bool Commit(bool* restartNeeded);
    // Every change undone, newest first, except what the run kept; the journal removed. Safe to call from
    // any thread, more than once; waits a bounded time for changes in flight.
    void Rollback();

private:
    bool LockFor(DWORD milliseconds);
    std::wstring NextAsideName(const std::wstring& folder);

    SRWLOCK lock_ = SRWLOCK_INIT;
    UniqueFileHandle file_;
    uint32_t appId_ = 0;
    bool ending_ = false;
    bool torn_ = false;  // part of a record stays that could not be taken back: nothing more is appended
    volatile LONG pending_ = 0;
    uint64_t asideCount_ = 0;
    std::wstring madeAsideFolders_;  // the aside folders checked this run, each ending in '|'
};

enum class JournalRecovery { kNone, kRolledBack, kFoundCommitted, kBusy, kUnusable };

// What a run that ended without finishing its journal left for `appId`: rolled back, or its commit
// finished. Traced; kBusy when a live run holds the journal.
JournalRecovery RecoverJournal(uint32_t appId);

}  // namespace orv
