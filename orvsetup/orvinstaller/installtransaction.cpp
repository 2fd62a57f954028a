// The run's install journal, opened, committed and rolled back at the run sequence's points.
#include "installtransaction.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "orvscriptengine/runjournal.h"
#include "orvscriptengine/scriptglobals.h"
#include "utility/runexit.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace {

// Rolls back whatever end of the run comes first; a run that committed has nothing left to undo.
void RollBackAtEnd(int, void*) { RollbackRunJournal(); }

}  // namespace

bool JournalSwitchedOff() {
    int count = 0;
    UniqueLocalMemory words(::CommandLineToArgvW(::GetCommandLineW(), &count));
    LPWSTR* argv = static_cast<LPWSTR*>(words.Get());
    for (int i = 1; argv && i < count; ++i)
        if ((argv[i][0] == L'/' || argv[i][0] == L'-') && _wcsicmp(argv[i] + 1, L"nojournal") == 0) return true;
    return false;
}

bool BeginInstallTransaction(lua_State* L) {
    if (JournalSwitchedOff()) {
        TraceLine(L"install journal: off\r\n");
        return true;
    }
    const uint32_t appId = static_cast<uint32_t>(GetGlobalInteger(L, "global_app_id"));
    if (!OnAbnormalEnd(RollBackAtEnd, nullptr) || !StartRunJournal(appId)) {
        TraceLine(L"the install journal cannot be opened: the setup stops before changing anything\r\n");
        return false;
    }
    return true;
}

void CommitInstallTransaction(lua_State* L) {
    bool restartNeeded = false;
    if (CommitRunJournal(&restartNeeded)) SetGlobalFlag(L, "global_restart_needed", restartNeeded);
}

void EndInstallTransaction() { RollbackRunJournal(); }

}  // namespace orv
