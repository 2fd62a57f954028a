// The folders entries are written into, created or entered one at a time below the destination folder.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "utility/folderidentity.h"

namespace orv {

// Each folder is looked up in its parent's listing, read through a handle of the parent, and entered only
// when it is a plain folder there (no junction, no link, not met by its short alias) and the handle opened
// for it is that folder (some systems follow a link even when it is opened as a reparse point, so the
// handle alone does not tell). The folders of the last entry stay open: the next entry in the same place
// asks nothing again, and a parent is listed through a handle opened from its own.
class OutputFolders {
public:
    // False when the destination folder cannot be opened.
    bool Open(const std::wstring& destination);
    // Told the full path of each folder this creates (one that was there already is not told); false
    // removes it again and the folder counts as one that cannot be created.
    void OnCreated(std::function<bool(const std::wstring& path)> created) { created_ = std::move(created); }
    // Creates or enters the folders of `components`, outer first. False (traced) when one of them is not a
    // plain folder or cannot be created; `refused` tells a junction, a link or an alias from other errors.
    bool Enter(const std::vector<std::wstring>& components, bool* refused);
    // Whether the existing entry `name` of the folder entered last may be replaced by a file: false
    // (traced) when it is a junction or a link, whose target would be written instead, or another entry
    // whose short name it is.
    bool MayReplace(const std::wstring& name);
    // Forgets the folders entered (they may have gone away).
    void Forget();

private:
    bool EnterOne(const std::wstring& component, bool* refused);
    std::wstring Current() const;  // the folder entered last, verbatim
    // A handle of the folder entered last, for one lookup (a folder handle keeps the name it was first
    // asked to list by); null (traced) when what is there is no longer that folder.
    UniqueFileHandle OpenLister(const std::wstring& folder) const;

    std::wstring root_;                      // the destination, verbatim
    ULONGLONG volume_ = 0;
    std::vector<std::wstring> names_;        // the folders entered, as their parents list them
    std::vector<ULONGLONG> ids_;             // the destination's file id, then one per folder entered
    std::vector<UniqueFileHandle> handles_;  // their handles
    std::function<bool(const std::wstring& path)> created_;
};

}  // namespace orv
