// One lock for the whole script state: Lua takes it in every API function and gives it up around every
// native function, so a second thread gets in while an action runs. Lua's sources reach it through
// luauser.h.
#pragma once

namespace orv {

// For a thread that must never wait for the script (the dialogs' thread): true when the lock is now
// held (recursively, by this thread); pair with ReleaseScriptState.
bool TryHoldScriptState();
void ReleaseScriptState();

}  // namespace orv
