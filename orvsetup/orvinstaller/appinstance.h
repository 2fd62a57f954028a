// Single running instance: the named mutex and bringing the first instance's window forward.
#pragma once

#include <cstdint>
#include <string>

#include "utility/uniquehandle.h"

namespace orv {

constexpr wchar_t kDefaultMutexName[] = L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}";
constexpr wchar_t kDialogClassName[] = L"Orv_Installer";
constexpr size_t kMutexNameUnits = 260;  // with the terminator

// "%s%d" of name and app id, or the name alone for app id 0. False when the result does not fit in
// 259 units: a cut name could be another product's mutex.
bool BuildMutexName(const std::wstring& name, int32_t appId, std::wstring& finalName);

enum class InstanceCheck {
    kFirst,          // this instance runs; `ownMutex` holds the mutex until the process ends
    kAlreadyRunning, // another instance holds the mutex; its window was brought forward if it has one
    kBadName,        // the mutex name does not fit
};

// Takes the single-instance mutex (everyone may open it) for the name built from `name` and `appId`.
InstanceCheck CreateAppInstance(const std::wstring& name, int32_t appId, UniqueHandle& ownMutex);

}  // namespace orv
