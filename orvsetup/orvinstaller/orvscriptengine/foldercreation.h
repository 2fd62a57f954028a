// The folders the setup's actions create.
#pragma once

#include <functional>
#include <string>

namespace orv {

// Creates `path` and any missing folders above it. The top-most folder created outside Program Files
// and outside the user's own profile gets the protected descriptor Program Files has (a new folder
// elsewhere inherits what its parent allows, on a second drive's root write access for every signed-in
// user); what is created below it inherits that. Folders that existed keep the rights they had. True when
// the folder exists afterwards.
bool CreateFolderTree(const std::wstring& path);

// Creates the folders of `path` that are missing through `create` (given the full path), each announced to the
// change listeners first, the top-most first; nothing is created when a listener refuses one. True when
// the folder exists afterwards.
bool CreateFoldersNoticed(const char* action, const std::wstring& path,
                          const std::function<bool(const std::wstring&)>& create);

// True when `path` lies in `folder` or is that folder (compared without regard to case).
bool PathIsWithin(const std::wstring& path, const std::wstring& folder);

}  // namespace orv
