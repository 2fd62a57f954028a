// Holds a critical section or an exclusive slim reader/writer lock for one scope.
#pragma once

#include <windows.h>

namespace orv {

class CriticalSectionGuard {
public:
    explicit CriticalSectionGuard(CRITICAL_SECTION& lock) : lock_(lock) { ::EnterCriticalSection(&lock_); }
    ~CriticalSectionGuard() { ::LeaveCriticalSection(&lock_); }
    CriticalSectionGuard(const CriticalSectionGuard&) = delete;
    CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

class ExclusiveGuard {
public:
    explicit ExclusiveGuard(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveGuard() { ::ReleaseSRWLockExclusive(&lock_); }
    ExclusiveGuard(const ExclusiveGuard&) = delete;
    ExclusiveGuard& operator=(const ExclusiveGuard&) = delete;

private:
    SRWLOCK& lock_;
};

}  // namespace orv
