// The run's record, kept from the change notices the actions send.
#include "orvscriptengine/installrecord.h"

#include <algorithm>
#include <cwchar>

#include "orvscriptengine/foldercreation.h"
#include "utility/lockguard.h"

namespace orv {
namespace {

bool Same(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

bool IsPathKind(EntryKind kind) {
    return kind == EntryKind::kFile || kind == EntryKind::kFolder || kind == EntryKind::kShortcut;
}

RecordEntry PathEntry(EntryKind kind, const std::wstring& path, bool created) {
    RecordEntry entry;
    entry.kind = kind;
    entry.path = path;
    entry.created = created;
    return entry;
}

RecordEntry RegistryEntry(EntryKind kind, const Change& change) {
    RecordEntry entry;
    entry.kind = kind;
    entry.root = change.root;
    entry.key = change.key;
    entry.valueName = change.valueName;
    entry.view = change.view;
    entry.created = kind == EntryKind::kRegKey || !change.existed;
    return entry;
}

template <typename Pred>
void RemoveIf(std::vector<RecordEntry>& entries, Pred pred) {
    entries.erase(std::remove_if(entries.begin(), entries.end(), pred), entries.end());
}

bool IsThere(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

bool SameTarget(const RecordEntry& a, const RecordEntry& b) {
    if (IsPathKind(a.kind) && IsPathKind(b.kind)) return Same(a.path, b.path);
    if (a.kind != b.kind) return false;
    if (a.kind == EntryKind::kOutside) return Same(a.undo, b.undo) && Same(a.path, b.path);
    return a.view == b.view && Same(a.root, b.root) && Same(a.key, b.key) &&
           (a.kind == EntryKind::kRegKey || Same(a.valueName, b.valueName));
}

void AddEntry(std::vector<RecordEntry>& entries, const RecordEntry& entry) {
    for (RecordEntry& known : entries) {
        if (!SameTarget(known, entry)) continue;
        known.created = known.created || entry.created;
        return;
    }
    entries.push_back(entry);
}

InstallRecord& InstallRecord::Instance() {
    static InstallRecord record;
    return record;
}

InstallRecord::InstallRecord() { AddChangeListener(this); }

bool InstallRecord::Before(const Change&) { return true; }  // the record keeps what was done only

void InstallRecord::After(const Change& change, bool done) {
    ExclusiveGuard guard(lock_);
    Apply(change, done);
}

void InstallRecord::Apply(const Change& change, bool done) {
    switch (change.kind) {
        case ChangeKind::kFileCreated:
        case ChangeKind::kFileOverwritten:
            if (done) AddEntry(entries_, PathEntry(EntryKind::kFile, change.path, !change.existed));
            break;
        case ChangeKind::kShortcutWritten:
            if (done) AddEntry(entries_, PathEntry(EntryKind::kShortcut, change.path, !change.existed));
            break;
        case ChangeKind::kFolderCreated:
            if (done) AddEntry(entries_, PathEntry(EntryKind::kFolder, change.path, true));
            break;
        case ChangeKind::kFileMoved: {
            if (!done) break;
            bool created = !change.existed;
            RemoveIf(entries_, [&](const RecordEntry& e) {
                const bool moved = IsPathKind(e.kind) && Same(e.path, change.from);
                if (moved) created = created || e.created;
                return moved;
            });
            AddEntry(entries_, PathEntry(EntryKind::kFile, change.path, created));
            break;
        }
        case ChangeKind::kOutsideUndone:
        case ChangeKind::kStagingFolder:
            break;
        case ChangeKind::kFileDeleted:
        case ChangeKind::kFolderDeleted:
        case ChangeKind::kTreeDeleted:
            // What is gone is no longer the install's to remove; a tree deleted in part keeps what is left.
            RemoveIf(entries_, [&](const RecordEntry& e) {
                return IsPathKind(e.kind) && PathIsWithin(e.path, change.path) && !IsThere(e.path);
            });
            break;
        case ChangeKind::kRegKeyCreated:
            if (done) AddEntry(entries_, RegistryEntry(EntryKind::kRegKey, change));
            break;
        case ChangeKind::kRegValueSet:
            if (done) AddEntry(entries_, RegistryEntry(EntryKind::kRegValue, change));
            break;
        case ChangeKind::kRegValueDeleted:
            if (done) {
                const RecordEntry gone = RegistryEntry(EntryKind::kRegValue, change);
                RemoveIf(entries_, [&](const RecordEntry& e) { return SameTarget(e, gone); });
            }
            break;
        case ChangeKind::kRegKeyDeleted:
            if (done)
                RemoveIf(entries_, [&](const RecordEntry& e) {
                    return (e.kind == EntryKind::kRegKey || e.kind == EntryKind::kRegValue) && e.view == change.view &&
                           Same(e.root, change.root) && PathIsWithin(e.key, change.key);
                });
            break;
        case ChangeKind::kOutsideChange:
            if (done) {
                RecordEntry entry;
                entry.kind = EntryKind::kOutside;
                entry.undo = change.undo;
                entry.path = change.undoTarget;
                entry.description = change.description;
                AddEntry(entries_, entry);
            }
            break;
    }
}

std::vector<RecordEntry> InstallRecord::Entries() const {
    ExclusiveGuard guard(lock_);
    return entries_;
}

void InstallRecord::Clear() {
    ExclusiveGuard guard(lock_);
    entries_.clear();
}

}  // namespace orv
