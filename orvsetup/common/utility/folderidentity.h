// Folders opened and listed through handles, so that what a path names can be compared with what its
// parent's listing showed: a junction or link put in the place of a listed folder is told apart even where
// the system follows a link that was opened as a reparse point.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "utility/uniquehandle.h"

namespace orv {

// One entry of a folder's listing.
struct ListedEntry {
    std::wstring name;
    std::wstring shortName;  // the 8.3 alias, empty when there is none
    DWORD attributes;
    ULONGLONG id;
};

// What a handle is: its volume, its file id and whether it is a folder that is not a reparse point.
struct FolderIdentity {
    ULONGLONG volume = 0;
    ULONGLONG id = 0;
    bool plainFolder = false;
};

bool IdentityOf(HANDLE handle, FolderIdentity* identity);

// The path with the prefix that turns off the system's name normalisation; empty when it cannot be made.
std::wstring VerbatimPath(const std::wstring& path);

// The folder itself (a link is not followed where the system allows it, unless `followLink`), for listing
// and deletion, shared with every other use.
UniqueFileHandle OpenFolderHandle(const std::wstring& verbatim, bool followLink = false);

// Every entry of the folder but "." and "..", read through its handle.
std::vector<ListedEntry> ListFolder(HANDLE folder);
// The entries of the folder's listing that answer to `name` (by its long or its short name, in any letter
// case), read through its handle afresh: the lookup of one entry, without reading the whole folder.
std::vector<ListedEntry> ListFolderEntry(HANDLE folder, const std::wstring& name);

// True when no folder from `from` (itself included) down to the parent of `path` is a junction or link,
// so that a name below it still means what it meant when it was written; `path` lies below `from`. A
// folder that is not there ends the walk: nothing below it can be there either.
bool NoLinkOnTheWay(const std::wstring& from, const std::wstring& path);

// Whether `folder`, opened from its path, is the plain folder `entry` of its parent's listing (on `volume`).
bool IsListedFolder(HANDLE folder, const ListedEntry& entry, ULONGLONG volume);

}  // namespace orv
