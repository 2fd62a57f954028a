// Lua's own lock hooks, bound to the script state's lock (lualock.h). Forced into every Lua source file
// by the build of Lua (cmake/deps.cmake); nothing else includes it.
#pragma once

struct lua_State;

void orv_lua_lock(lua_State* L);
void orv_lua_unlock(lua_State* L);

// Lua takes the lock in every API function and gives it up around every native function.
#define lua_lock(L) orv_lua_lock(L)
#define lua_unlock(L) orv_lua_unlock(L)
// Closing a state takes the lock and never gives it back (the lock is meant to die with the state);
// ours outlives every state, so a close gives it back before it frees the state.
#define luai_userstateclose(L) orv_lua_unlock(L)
