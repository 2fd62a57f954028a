// The one point where the actions tell listeners of each change they are about to make to the machine and
// of its outcome. Listeners (the install record, a rollback journal) register for the run; an action asks
// all of them before it changes anything and makes no change that one of them refused.
#pragma once

#include <windows.h>

#include <string>

namespace orv {

enum class ChangeKind {
    kFileCreated,        // `path` was not there and is about to be written
    kFileOverwritten,    // `path` was there and its content is about to be replaced
    kFolderCreated,      // `path` is about to be created
    kFileMoved,          // `from` is about to take the name `path` (a move or a rename; `path` may be there)
    kFileDeleted,        // `path` is about to be deleted
    kTreeDeleted,        // the folder `path` is about to be deleted with everything below it
    kRegKeyCreated,      // `key` under `root` is about to be created
    kRegValueSet,        // `valueName` of `key` is about to be written; `existed` tells whether it was there
    kRegValueDeleted,    // `valueName` of `key` is about to be deleted
    kRegKeyDeleted,      // `key` is about to be deleted with its subkeys
    kShortcutWritten,    // the shortcut or internet shortcut `path` is about to be saved; `existed` as above
    kOutsideChange,      // a change the script made outside the engine, with how to undo it
    kFolderDeleted,      // the empty folder `path` is about to be deleted
    kOutsideUndone,      // a recorded outside change is about to be undone (`undo`, `undoTarget`)
    kStagingFolder,      // temporary files of an extraction are about to be made in the folder `path`
};

struct Change {
    ChangeKind kind = ChangeKind::kFileCreated;
    std::wstring path;            // full path: file, folder, shortcut; the target of a move
    std::wstring from;            // full path: the source of a move
    bool existed = false;         // the file, value or shortcut was there before the change
    std::wstring root;            // registry root name: HKCR, HKCU, HKLM, HKU or HKCC
    std::wstring key;             // registry key below the root
    std::wstring valueName;       // registry value name (empty: the default value)
    REGSAM view = 0;              // 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY
    std::wstring undo;            // outside change: the kind of undo (see the install record)
    std::wstring undoTarget;      // outside change: what the undo acts on (a path or a service name)
    std::wstring description;     // outside change: what was changed, for the trace
};

class ChangeListener {
public:
    virtual ~ChangeListener() = default;
    // Before the change is made; false refuses it (the listener could not keep what it needs).
    virtual bool Before(const Change& change) = 0;
    // After the change was tried (`done`: it was made), for every change no listener refused.
    virtual void After(const Change& change, bool done) = 0;
};

// Listeners stay registered until removed; each is told in the order of registration. Safe from any
// thread; a listener is called on the thread of the action.
void AddChangeListener(ChangeListener* listener);
void RemoveChangeListener(ChangeListener* listener);

// Asks every listener; false when one refused, after the trace line
// "Fun:ACTION, Description:PATH not changed, a change listener refused it".
bool NoticeBefore(const char* action, const Change& change);
void NoticeAfter(const Change& change, bool done);

// A change announced for the scope it is made in: the listeners are asked at construction (Allowed()),
// and told the outcome once: by Done(result), or as not done when the scope ends without it.
class ChangeNotice {
public:
    ChangeNotice(const char* action, Change change);
    ~ChangeNotice();
    ChangeNotice(const ChangeNotice&) = delete;
    ChangeNotice& operator=(const ChangeNotice&) = delete;

    bool Allowed() const { return allowed_; }
    // Reports the outcome; returns `done` for `return PushFlag(L, notice.Done(ok));`.
    bool Done(bool done);

private:
    Change change_;
    bool allowed_;
    bool reported_ = false;
};

// Builders for the common kinds; the path is made full first.
Change FileWriteChange(const std::wstring& path);        // created or overwritten, as the disk says now
Change FolderChange(const std::wstring& path);
Change MoveChange(const std::wstring& from, const std::wstring& to);
Change DeleteChange(const std::wstring& path);            // a file, or a tree for a folder
Change ShortcutChange(const std::wstring& path);

// The full form of a path, unchanged when it cannot be made full.
std::wstring FullPath(const std::wstring& path);

}  // namespace orv
