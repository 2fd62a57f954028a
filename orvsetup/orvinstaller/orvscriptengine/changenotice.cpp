// The change listeners of the process and the notices the actions send them.
#include "orvscriptengine/changenotice.h"

#include <algorithm>
#include <vector>

#include "utility/lockguard.h"
#include "utility/trace.h"

namespace orv {
namespace {

SRWLOCK g_lock = SRWLOCK_INIT;

std::vector<ChangeListener*>& Listeners() {
    static std::vector<ChangeListener*> listeners;
    return listeners;
}

// A copy taken under the lock, so a listener may register or leave while others are called.
std::vector<ChangeListener*> Snapshot() {
    ExclusiveGuard guard(g_lock);
    return Listeners();
}

std::wstring Described(const Change& change) {
    if (!change.path.empty()) return change.path;
    if (!change.key.empty()) return change.root + L"\\" + change.key + (change.valueName.empty() ? L"" : L"\\" + change.valueName);
    return change.description;
}

bool IsThere(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

void AddChangeListener(ChangeListener* listener) {
    ExclusiveGuard guard(g_lock);
    std::vector<ChangeListener*>& listeners = Listeners();
    if (std::find(listeners.begin(), listeners.end(), listener) == listeners.end()) listeners.push_back(listener);
}

void RemoveChangeListener(ChangeListener* listener) {
    ExclusiveGuard guard(g_lock);
    std::vector<ChangeListener*>& listeners = Listeners();
    listeners.erase(std::remove(listeners.begin(), listeners.end(), listener), listeners.end());
}

bool NoticeBefore(const char* action, const Change& change) {
    for (ChangeListener* listener : Snapshot()) {
        if (listener->Before(change)) continue;
        TraceLine(L"Fun:%hs, Description:%ls not changed, a change listener refused it\r\n", action,
                  Described(change).c_str());
        return false;
    }
    return true;
}

void NoticeAfter(const Change& change, bool done) {
    for (ChangeListener* listener : Snapshot()) listener->After(change, done);
}

ChangeNotice::ChangeNotice(const char* action, Change change)
    : change_(std::move(change)), allowed_(NoticeBefore(action, change_)) {}

ChangeNotice::~ChangeNotice() {
    if (allowed_ && !reported_) NoticeAfter(change_, false);
}

bool ChangeNotice::Done(bool done) {
    if (allowed_ && !reported_) NoticeAfter(change_, done);
    reported_ = true;
    return done;
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH * 2) return path;
    return std::wstring(buffer, length);
}

Change FileWriteChange(const std::wstring& path) {
    Change change;
    change.path = FullPath(path);
    change.existed = IsThere(change.path);
    change.kind = change.existed ? ChangeKind::kFileOverwritten : ChangeKind::kFileCreated;
    return change;
}

Change FolderChange(const std::wstring& path) {
    Change change;
    change.kind = ChangeKind::kFolderCreated;
    change.path = FullPath(path);
    return change;
}

Change MoveChange(const std::wstring& from, const std::wstring& to) {
    Change change;
    change.kind = ChangeKind::kFileMoved;
    change.from = FullPath(from);
    change.path = FullPath(to);
    change.existed = IsThere(change.path);
    return change;
}

Change DeleteChange(const std::wstring& path) {
    Change change;
    change.path = FullPath(path);
    const DWORD attributes = ::GetFileAttributesW(change.path.c_str());
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                        !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    change.kind = folder ? ChangeKind::kTreeDeleted : ChangeKind::kFileDeleted;
    change.existed = attributes != INVALID_FILE_ATTRIBUTES;
    return change;
}

Change ShortcutChange(const std::wstring& path) {
    Change change;
    change.kind = ChangeKind::kShortcutWritten;
    change.path = FullPath(path);
    change.existed = IsThere(change.path);
    return change;
}

}  // namespace orv
