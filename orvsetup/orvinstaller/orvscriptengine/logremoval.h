// Removal of what an install log lists, newest first. Knows nothing of Lua: what it reports goes to plain
// callbacks.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "orvscriptengine/installrecord.h"

namespace orv {

struct RemovalCallbacks {
    // (what, system error code) for each entry that could not be removed; the entry stays in the log
    std::function<void(const std::wstring& what, DWORD error)> onError;
    // (path) true for a file the script keeps
    std::function<bool(const std::wstring& path)> keep;
    // (nothing failed) after everything but the folders was done, before the folders are removed
    std::function<void(bool nothingFailed)> beforeFolders;
};

// Removes the accepted entries of `entries`, the log of `installFolder`, newest first: files and shortcuts,
// registry values, then keys that hold nothing any more, outside changes through their undo, and folders
// once they are empty. Refused entries are traced and dropped; what is already gone counts as removed.
// Returns the entries that remain to be removed (the failed ones, and folders that hold them).
std::vector<RecordEntry> RemoveLogged(const std::vector<RecordEntry>& entries, const std::wstring& installFolder,
                                      const RemovalCallbacks& callbacks);

}  // namespace orv
