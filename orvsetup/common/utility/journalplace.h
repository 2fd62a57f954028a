// Where a product's install journal and the old files it keeps live: folders only administrators and
// SYSTEM may write (only the user, for a setup that is not elevated), found again through a value under
// HKLM named after the product's id.
#pragma once

#include <cstdint>
#include <string>

namespace orv {

// The journal's folder for `appId` below the common application-data folder, as a \\?\ path; empty when
// that folder is unknown.
std::wstring JournalFolder(uint32_t appId);
// The journal file in `folder`.
std::wstring JournalFile(const std::wstring& folder);

// The folder on the volume of `path` (a \\?\ path) where old files of the product wait, so that they are
// moved, never copied: inside the journal's folder on its own volume, at the root of any other.
std::wstring AsideFolder(uint32_t appId, const std::wstring& path);
// True when `aside` names a file as this process names them (digits, a dash, digits, ".old") directly in
// the aside folder of its own volume.
bool IsAsidePath(uint32_t appId, const std::wstring& aside);

// Makes `folder`, or checks the one there: a plain folder (no junction or link) owned by the
// administrators or SYSTEM (the user when not elevated), whose rights are then set to the private ones.
// False, traced, for anything else.
bool MakeTrustedFolder(const std::wstring& folder);

// The value under HKLM (64-bit view) that names the journal's folder while a journal exists.
bool WriteJournalPointer(uint32_t appId, const std::wstring& folder);
// The folder the value names, only when it is the folder JournalFolder gives; empty otherwise.
std::wstring ReadJournalPointer(uint32_t appId);
void DeleteJournalPointer(uint32_t appId);

// `path` with the \\?\ prefix (and "UNC\" for a share) when it is a full path without one.
std::wstring LongPath(const std::wstring& path);

}  // namespace orv
