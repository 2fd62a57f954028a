// One lock for the whole script state: Lua takes it in every API function and gives it up around every
// native function, so a second thread gets in while an action runs. Included into Lua's own sources.
#pragma once

struct lua_State;

void orv_lua_lock(lua_State* L);
void orv_lua_unlock(lua_State* L);

#define lua_lock(L) orv_lua_lock(L)
#define lua_unlock(L) orv_lua_unlock(L)
// Closing a state takes the lock and never gives it back (the lock is meant to die with the state);
// ours outlives every state, so a close gives it back before it frees the state.
#define luai_userstateclose(L) orv_lua_unlock(L)

namespace orv {

// For a thread that must never wait for the script (the dialogs' thread): true when the lock is now
// held (recursively, by this thread); pair with ReleaseScriptState.
bool TryHoldScriptState();
void ReleaseScriptState();

}  // namespace orv
