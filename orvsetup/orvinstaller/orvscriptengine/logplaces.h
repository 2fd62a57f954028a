// What an install log may name: paths in the install folder, shortcuts and folders in the shell's own
// places, registry values below keys the log itself lists as created, and the outside changes whose undo
// this engine knows. An entry outside these is refused.
#pragma once

#include <string>
#include <vector>

#include "orvscriptengine/installrecord.h"

namespace orv {

// The shell folders an install puts its shortcuts and menu folders in: the desktops, the program menus
// and the quick-launch folder.
std::vector<std::wstring> ShellPlaces();

// Whether `folder` can be an install folder a log is read for: a full, plain path that is neither a
// drive's root nor one of the system's own folders.
bool IsUsableInstallFolder(const std::wstring& folder);

// Why `entry` of the log of `installFolder` is refused (empty when it is accepted); `all` are the log's
// entries (a value is accepted below a key they list as created).
std::wstring RefusalOf(const RecordEntry& entry, const std::wstring& installFolder, const std::vector<RecordEntry>& all,
                       const std::vector<std::wstring>& places);

// The entry as a line for traces.
std::wstring Describe(const RecordEntry& entry);

}  // namespace orv
