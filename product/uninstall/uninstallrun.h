// The uninstaller's run in the script engine: the two chunks from the install folder, the globals the
// uninstall script expects from its host, the confirmation, and the three hooks.
#pragma once

#include <string>

#include "uninstalloptions.h"

namespace quellby {

constexpr int kExitStopped = 0;    // a chunk was missing or failed, or a script error stopped the run
constexpr int kExitCompleted = 1;  // all three hooks ran
constexpr int kExitCancelled = 2;  // the user said no to the confirmation

// `programPath` is this program (the temporary copy the script deletes at its end).
int RunUninstall(const UninstallOptions& options, const std::wstring& programPath);

}  // namespace quellby
