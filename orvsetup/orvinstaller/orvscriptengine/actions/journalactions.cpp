// What a script tells the run's install journal.
#include "orvscriptengine/actions/actions.h"

#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/runjournal.h"
#include "utility/trace.h"

namespace orv {

// Lua_KeepOnRollback(path) -> boolean: the file stays as the run leaves it even when the install is
// rolled back (a log of the failed run, say). False when no journal is being written.
int Lua_KeepOnRollback(lua_State* L) {
    std::wstring path;
    if (!ArgPath(L, 1, path)) return PushFlag(L, false);
    const bool kept = KeepOnRollback(path);
    if (!kept) TraceLine(L"Fun:Lua_KeepOnRollback, Description:%ls not marked\r\n", path.c_str());
    return PushFlag(L, kept);
}

}  // namespace orv
