// The run sequence's transaction: the journal opened before the first hook, committed where the run goes
// on past its install, rolled back by every other end (a stop of the sequence, a script error, os.exit,
// an uncaught exception: all that reach EndRun, and any return before the commit).
#pragma once

#include "orvscriptengine/luaapi.h"

namespace orv {

// Whether the command line turns the journal off ("/nojournal" or "-nojournal"): changes are then made
// without a record and nothing is rolled back (for measuring what the journal costs).
bool JournalSwitchedOff();

// Rolls back what a dead run of the product (`global_app_id`) left and opens this run's journal. False,
// traced, when it cannot be opened: the run must stop before changing anything.
bool BeginInstallTransaction(lua_State* L);
// The install is complete: the commit; a "restart needed" result is traced and given to the scripts as
// the global `global_restart_needed`.
void CommitInstallTransaction(lua_State* L);
// The end of the sequence: rolls back when no commit was reached.
void EndInstallTransaction();

}  // namespace orv
