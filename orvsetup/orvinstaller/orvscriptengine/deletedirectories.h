// The engine's recursive deletion, and what tests may put between the listing of a folder and the entering
// of a folder it lists.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace orv {

// Told of each file that could not be deleted (path, system error code).
using DeletionFailed = std::function<void(const std::wstring& path, DWORD error)>;

// Deletes a folder tree (or the files a path names): read-only files are made normal first, links
// inside the tree are removed without their targets being entered, failures are skipped. The Ex form
// reports each file that could not be deleted to `onError` (which may be empty).
void DeleteDirectories(const std::wstring& path);
void DeleteDirectoriesEx(const std::wstring& path, const DeletionFailed& onError);

// Called with a subfolder's path after its parent's listing showed it as a plain folder and before it is
// opened; a test swaps the folder for a link there. Returns the previous seam; null clears it.
using DeletionSeam = void (*)(const std::wstring& folder);
DeletionSeam SetDeletionSeam(DeletionSeam seam);

}  // namespace orv
