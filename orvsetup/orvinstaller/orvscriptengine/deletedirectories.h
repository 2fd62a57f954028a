// What tests may put between the listing of a folder and the entering of a folder it lists.
#pragma once

#include <string>

namespace orv {

// Called with a subfolder's path after its parent's listing showed it as a plain folder and before it is
// opened; a test swaps the folder for a link there. Returns the previous seam; null clears it.
using DeletionSeam = void (*)(const std::wstring& folder);
DeletionSeam SetDeletionSeam(DeletionSeam seam);

}  // namespace orv
