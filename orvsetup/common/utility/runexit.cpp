// Ending the run: trace, abnormal-end callbacks, flushed C runtime buffers, TerminateProcess.
#include "utility/runexit.h"

#include <windows.h>

#include <cstdio>

#include "utility/trace.h"

namespace orv {
namespace {

constexpr LONG kMaxCallbacks = 8;

struct Registration {
    AbnormalEndCallback callback;
    void* context;
};

// Plain data, set before any code runs and never destroyed: usable at any time.
SRWLOCK g_lock = SRWLOCK_INIT;
Registration g_callbacks[kMaxCallbacks];
LONG g_count = 0;
volatile LONG g_endingThread = 0;

[[noreturn]] void Terminate(int exitCode) {
    std::fflush(nullptr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(exitCode));
    ::ExitProcess(static_cast<UINT>(exitCode));  // not reached: TerminateProcess of the own process does not return
}

}  // namespace

bool OnAbnormalEnd(AbnormalEndCallback callback, void* context) {
    if (!callback) return false;
    ::AcquireSRWLockExclusive(&g_lock);
    const bool placed = g_count < kMaxCallbacks;
    if (placed) g_callbacks[g_count++] = Registration{callback, context};
    ::ReleaseSRWLockExclusive(&g_lock);
    if (!placed) TraceLine(L"no place left for an abnormal-end callback\r\n");
    return placed;
}

void EndRun(int exitCode) {
    const LONG self = static_cast<LONG>(::GetCurrentThreadId());
    const LONG ending = ::InterlockedCompareExchange(&g_endingThread, self, 0);
    if (ending == self) Terminate(exitCode);  // from a callback
    if (ending != 0) {
        for (;;) ::Sleep(INFINITE);  // the other thread ends the process
    }
    TraceLine(L"the run ends, exit code %d\r\n", exitCode);
    ::AcquireSRWLockShared(&g_lock);
    Registration callbacks[kMaxCallbacks];
    const LONG count = g_count;
    for (LONG i = 0; i < count; ++i) callbacks[i] = g_callbacks[i];
    ::ReleaseSRWLockShared(&g_lock);
    for (LONG i = count; i > 0; --i) callbacks[i - 1].callback(exitCode, callbacks[i - 1].context);
    Terminate(exitCode);
}

}  // namespace orv
