// The record of what the engine's actions created or replaced during this run, kept from the change
// notices, and the entries of an install log that holds such a record.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "orvscriptengine/changenotice.h"

namespace orv {

enum class EntryKind { kFile, kFolder, kRegKey, kRegValue, kShortcut, kOutside };

struct RecordEntry {
    EntryKind kind = EntryKind::kFile;
    bool created = true;       // file, value, shortcut: it was not there before the install wrote it
    std::wstring path;         // file, folder, shortcut; for an outside change the undo's target
    std::wstring root;         // registry: root name, key, value name and view
    std::wstring key;
    std::wstring valueName;
    REGSAM view = 0;
    std::wstring undo;         // outside change: "file", "service" or "server"
    std::wstring description;  // outside change: what the script changed
};

// True when the two entries name the same thing (paths and names compared without regard to case).
bool SameTarget(const RecordEntry& a, const RecordEntry& b);

// Adds `entry`, or marks the one already there for the same target; an entry once created stays created.
void AddEntry(std::vector<RecordEntry>& entries, const RecordEntry& entry);

// The record of this run. It listens to the change notices from its first use on.
class InstallRecord : public ChangeListener {
public:
    static InstallRecord& Instance();

    bool Before(const Change& change) override;
    void After(const Change& change, bool done) override;

    std::vector<RecordEntry> Entries() const;
    // Forgets everything recorded so far (a test's fresh start).
    void Clear();

private:
    InstallRecord();
    void Apply(const Change& change, bool done);

    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<RecordEntry> entries_;
};

}  // namespace orv
