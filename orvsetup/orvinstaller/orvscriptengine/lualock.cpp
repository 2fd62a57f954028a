// The script state's lock: a recursive critical section, made on first use.
#include "orvscriptengine/lualock.h"
#include "orvscriptengine/luauser.h"

#include <windows.h>

namespace {

class StateLock {
public:
    StateLock() { ::InitializeCriticalSection(&section_); }
    ~StateLock() { ::DeleteCriticalSection(&section_); }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;
    CRITICAL_SECTION* Get() { return &section_; }

private:
    CRITICAL_SECTION section_;
};

// Never destroyed: Lua states may still be closed by other static destructors at exit.
CRITICAL_SECTION* Section() {
    static StateLock* lock = new StateLock;
    return lock->Get();
}

}  // namespace

void orv_lua_lock(lua_State*) { ::EnterCriticalSection(Section()); }
void orv_lua_unlock(lua_State*) { ::LeaveCriticalSection(Section()); }

namespace orv {

bool TryHoldScriptState() { return ::TryEnterCriticalSection(Section()) != FALSE; }
void ReleaseScriptState() { ::LeaveCriticalSection(Section()); }

}  // namespace orv
