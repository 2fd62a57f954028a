// Change notices turned into journal records, each written before its change is made.
#include "orvscriptengine/runjournal.h"

#include <windows.h>

#include <vector>

#include "orvscriptengine/changenotice.h"
#include "utility/journal.h"
#include "utility/journalplace.h"
#include "utility/journalundo.h"
#include "utility/securitydescriptor.h"
#include "utility/stagingname.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace {

constexpr int kMaxKeyDepth = 64;

Journal& TheJournal() {
    static Journal journal;
    return journal;
}

// The file id of a folder, 0 when it cannot be opened.
ULONGLONG FolderId(const std::wstring& folder) {
    UniqueFileHandle handle(::CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!handle || !::GetFileInformationByHandle(handle.Get(), &info)) return 0;
    return (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
}

// The path as the file system names it: a 32-bit process on 64-bit Windows that writes into the system
// folder while redirection is on writes into SysWOW64, and the record says so, because the rollback
// works with redirection off (and may be another architecture's).
std::wstring RealPath(const std::wstring& path) {
    BOOL wow64 = FALSE;
    if (!::IsWow64Process(::GetCurrentProcess(), &wow64) || !wow64) return LongPath(path);
    wchar_t windows[MAX_PATH] = L"";
    if (!::GetSystemWindowsDirectoryW(windows, MAX_PATH)) return LongPath(path);
    const std::wstring full = LongPath(path), system = LongPath(std::wstring(windows) + L"\\System32");
    if (full.size() <= system.size() || _wcsnicmp(full.c_str(), system.c_str(), system.size()) != 0 ||
        full[system.size()] != L'\\')
        return full;
    const std::wstring wow = LongPath(std::wstring(windows) + L"\\SysWOW64");
    const ULONGLONG seen = FolderId(system);
    if (seen == 0 || seen != FolderId(wow)) return full;  // redirection is off on this thread
    return wow + full.substr(system.size());
}

JournalRecord FileRecord(JournalKind kind, const std::wstring& path, const std::wstring& other = L"") {
    JournalRecord record;
    record.kind = kind;
    record.path = RealPath(path);
    record.other = other.empty() ? other : RealPath(other);
    return record;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// The key as records name it: HKCU becomes the user's own key under HKU, so whichever process rolls back
// (another architecture's setup, the uninstaller) reaches the same key.
std::wstring RecordedKey(const std::wstring& root, const std::wstring& key) {
    const std::wstring below = key.empty() ? L"" : L"\\" + key;
    if (root == L"HKCU") return L"HKU\\" + CurrentUserSid() + below;
    return root + below;
}

// The key a change names, opened in its view.
LONG OpenChanged(const Change& change, REGSAM access, UniqueHKey& key) {
    std::wstring unused;
    const HKEY root = change.root == L"HKCU" ? HKEY_CURRENT_USER : JournalRootKey(change.root, &unused);
    if (!root) return ERROR_INVALID_HANDLE;
    return ::RegOpenKeyExW(root, change.key.c_str(), 0, access | change.view, key.Put());
}

// The value `name` of the open key as it is now, as a record that puts it back.
bool OldValue(HKEY key, const std::wstring& recordedKey, REGSAM view, const std::wstring& name, JournalRecord* record) {
    record->kind = JournalKind::kValueOld;
    record->path = recordedKey;
    record->other = name;
    record->view = view;
    DWORD type = 0, size = 0;
    const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
    LONG result = ::RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
    if (result == ERROR_FILE_NOT_FOUND) return record->hadValue = 0, true;
    if (result != ERROR_SUCCESS || size > kMaxJournalRecordBytes) return false;
    record->data.resize(size);
    result = ::RegQueryValueExW(key, valueName, nullptr, &type, record->data.data(), &size);
    record->data.resize(size);
    record->hadValue = 1;
    record->valueType = type;
    return result == ERROR_SUCCESS;
}

class Recorder {
public:
    explicit Recorder(Journal& journal) : journal_(journal) {}

    bool Record(const Change& change) {
        switch (change.kind) {
            case ChangeKind::kFileCreated:
            case ChangeKind::kFileOverwritten:
            case ChangeKind::kShortcutWritten: return ReplaceOrCreate(change.path);
            case ChangeKind::kFolderCreated: return journal_.Append(FileRecord(JournalKind::kFolderCreated, change.path));
            case ChangeKind::kFileMoved:
                if (Exists(change.path) && !journal_.MoveAside(RealPath(change.path))) return false;
                return journal_.Append(FileRecord(JournalKind::kFileMoved, change.from, change.path));
            case ChangeKind::kFileDeleted:
            case ChangeKind::kTreeDeleted: return !Exists(change.path) || journal_.MoveAside(RealPath(change.path));
            case ChangeKind::kRegKeyCreated: return KeyCreated(change);
            case ChangeKind::kRegValueSet:
            case ChangeKind::kRegValueDeleted: return ValueChanged(change);
            case ChangeKind::kRegKeyDeleted: return KeyDeleted(change);
            case ChangeKind::kOutsideChange: return Outside(change);
            case ChangeKind::kStagingFolder: return Staging(change);
        }
        return false;
    }

private:
    // What is at `path` goes aside and comes back at a rollback; a new file is deleted then.
    bool ReplaceOrCreate(const std::wstring& path) {
        if (Exists(path)) return journal_.MoveAside(RealPath(path));
        return journal_.Append(FileRecord(JournalKind::kFileCreated, path));
    }

    bool KeyCreated(const Change& change) {
        JournalRecord record;
        record.kind = JournalKind::kKeyCreated;
        record.path = RecordedKey(change.root, change.key);
        record.view = change.view;
        return journal_.Append(record);
    }

    bool ValueChanged(const Change& change) {
        UniqueHKey key;
        const LONG opened = OpenChanged(change, KEY_QUERY_VALUE, key);
        if (opened == ERROR_FILE_NOT_FOUND) return true;  // nothing to lose: the key comes with its own record
        JournalRecord record;
        if (opened != ERROR_SUCCESS || !OldValue(key.Get(), RecordedKey(change.root, change.key), change.view,
                                                 change.valueName, &record)) {
            TraceLine(L"the old value of %ls\\%ls cannot be read: change refused\r\n", change.key.c_str(),
                      change.valueName.c_str());
            return false;
        }
        return journal_.Append(record);
    }

    // The key's subkeys first, then its values, then the key itself: read backwards, the key is made
    // again before its values and its subkeys.
    bool SaveTree(HKEY key, const std::wstring& recordedKey, REGSAM view, int depth) {
        if (depth > kMaxKeyDepth) return false;
        for (DWORD index = 0;; ++index) {
            wchar_t name[256];
            DWORD length = 256;
            const LONG result = ::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (result == ERROR_NO_MORE_ITEMS) break;
            UniqueHKey child;
            if (result != ERROR_SUCCESS || ::RegOpenKeyExW(key, name, 0, KEY_READ | view, child.Put()) != ERROR_SUCCESS ||
                !SaveTree(child.Get(), recordedKey + L"\\" + name, view, depth + 1))
                return false;
        }
        std::vector<wchar_t> name(16384);  // the longest value name; on the heap, this recurses
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(name.size());
            const LONG result = ::RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (result == ERROR_NO_MORE_ITEMS) break;
            JournalRecord record;
            if (result != ERROR_SUCCESS || !OldValue(key, recordedKey, view, std::wstring(name.data(), length), &record) ||
                !journal_.Append(record))
                return false;
        }
        JournalRecord made;
        made.kind = JournalKind::kKeyDeleted;
        made.path = recordedKey;
        made.view = view;
        return journal_.Append(made);
    }

    bool KeyDeleted(const Change& change) {
        UniqueHKey key;
        const LONG opened = OpenChanged(change, KEY_READ, key);
        if (opened == ERROR_FILE_NOT_FOUND) return true;
        if (opened == ERROR_SUCCESS && SaveTree(key.Get(), RecordedKey(change.root, change.key), change.view, 0)) return true;
        TraceLine(L"the key %ls cannot be kept for a rollback: change refused\r\n", change.key.c_str());
        return false;
    }

    // The folder where this process's temporary files may be left by a kill, and the process they are named after.
    bool Staging(const Change& change) {
        JournalRecord record = FileRecord(JournalKind::kStaging, change.path);
        record.other = StagingProcessTag(::GetCurrentProcessId());
        return journal_.Append(record);
    }

    // A file or DLL target as the file system names it, so that the rollback finds it and can tell it
    // from the files the run created; a service by its name.
    bool Outside(const Change& change) {
        JournalRecord record;
        record.kind = JournalKind::kOutside;
        record.path = change.description;
        const bool named = change.undo == L"service";
        record.other = change.undo + L" " + (named ? change.undoTarget : RealPath(change.undoTarget));
        // A file already there when the script records its change (before making it) is not the run's: a
        // rollback leaves it.
        record.hadValue = change.undo == L"file" && Exists(change.undoTarget) ? 1 : 0;
        return journal_.Append(record);
    }

    Journal& journal_;
};

class JournalListener : public ChangeListener {
public:
    bool Before(const Change& change) override {
        Journal& journal = TheJournal();
        if (!journal.Enter()) {
            TraceLine(L"the install journal is closed: change refused\r\n");
            return false;
        }
        if (Recorder(journal).Record(change)) return true;
        journal.Leave();
        return false;
    }
    void After(const Change&, bool) override { TheJournal().Leave(); }
};

JournalListener& Listener() {
    static JournalListener listener;
    return listener;
}

}  // namespace

bool StartRunJournal(uint32_t appId) {
    if (RecoverJournal(appId) == JournalRecovery::kBusy) return false;
    if (!TheJournal().Begin(appId)) return false;
    AddChangeListener(&Listener());
    return true;
}

bool RunJournalActive() { return TheJournal().Active(); }

bool CommitRunJournal(bool* restartNeeded) {
    RemoveChangeListener(&Listener());
    return TheJournal().Commit(restartNeeded);
}

void RollbackRunJournal() { TheJournal().Rollback(); }  // the listener stays and refuses every change

bool KeepOnRollback(const std::wstring& path) {
    return TheJournal().Active() && TheJournal().Append(FileRecord(JournalKind::kKeep, FullPath(path)));
}

}  // namespace orv
