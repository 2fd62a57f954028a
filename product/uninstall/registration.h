// Which install folders the uninstaller may work on: those a machine-wide uninstall entry registers
// together with the uninstaller that is running.
#pragma once

#include <string>

namespace quellby {

// The program a command line such as an UninstallString starts: a quoted first word, or else everything
// up to the first ".exe" that ends the text or is followed by a space or tab. Empty when there is none.
std::wstring ProgramOfCommand(const std::wstring& command);

// `path` as a full, long path without a trailing backslash, for comparisons; empty when it is not a full
// path or cannot be resolved.
std::wstring CanonicalPath(const std::wstring& path);

// True when both name the same full path (compared without regard to case).
bool SamePath(const std::wstring& a, const std::wstring& b);

// True when an entry under HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall (in the 64-bit or the
// 32-bit registry view) has an UninstallString that starts `program` and an InstallLocation that is
// `folder`. Traces why not.
bool IsRegisteredInstall(const std::wstring& program, const std::wstring& folder);

}  // namespace quellby
