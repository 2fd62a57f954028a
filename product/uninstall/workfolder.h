// The folder the uninstaller's copy runs from: new, with a random name, in the temporary folder, and
// nobody's but the process that made it.
#pragma once

#include <string>

namespace quellby {

// Makes "<temporaryFolder>\orv<32 hex digits>" with the private folder's descriptor; a name that exists
// already is never reused (another one is tried). Empty, traced, when none could be made.
std::wstring CreateWorkFolder(const std::wstring& temporaryFolder);

// Deletes the folder and the files in it; whatever is still in use (the folder included) is deleted at
// the next start instead.
void RemoveWorkFolder(const std::wstring& folder);

}  // namespace quellby
