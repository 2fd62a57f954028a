// The journal file: writing records, the commit, the rollback, and the recovery of a dead run's journal.
#include "utility/journal.h"

#include <algorithm>
#include <vector>

#include "utility/journalplace.h"
#include "utility/journalundo.h"
#include "utility/trace.h"

namespace orv {
namespace {

constexpr DWORD kEndWaitMs = 5000;
constexpr LONGLONG kMaxJournalBytes = 1LL << 30;

bool WriteAll(HANDLE file, const std::vector<uint8_t>& bytes) {
    DWORD written = 0;
    if (bytes.empty() || !::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return false;
    if (written == bytes.size()) return true;
    ::SetLastError(ERROR_DISK_FULL);  // a write cut short succeeds with what fitted
    return false;
}

// One block appended whole or not at all: what a full disk let through of it is taken back (shrinking a
// file needs no space), so that no record ever follows part of one. False when the block is not on disk;
// `*torn` when part of it could not be taken back either.
bool AppendWhole(HANDLE file, const std::vector<uint8_t>& bytes, bool* torn) {
    LARGE_INTEGER start = {}, here = {};
    if (!::SetFilePointerEx(file, here, &start, FILE_CURRENT)) return false;
    if (WriteAll(file, bytes)) return true;
    const DWORD error = ::GetLastError();
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !::SetEndOfFile(file)) *torn = true;
    ::SetLastError(error);
    return false;
}

bool ReadAll(HANDLE file, std::vector<uint8_t>* bytes) {
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0 || size.QuadPart > kMaxJournalBytes) return false;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes->size()) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(done);
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(done) >> 32);
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1u << 24));
        if (!::ReadFile(file, bytes->data() + done, want, &read, &at) || read == 0) return false;
        done += read;
    }
    return true;
}

// Records name files as the file system does, so they are undone with the redirection of a 32-bit
// process on 64-bit Windows off (a no-op elsewhere).
class RedirectionOff {
public:
    RedirectionOff() : off_(::Wow64DisableWow64FsRedirection(&old_) != FALSE) {}
    ~RedirectionOff() {
        if (off_) ::Wow64RevertWow64FsRedirection(old_);
    }
    RedirectionOff(const RedirectionOff&) = delete;
    RedirectionOff& operator=(const RedirectionOff&) = delete;

private:
    PVOID old_ = nullptr;
    bool off_;
};

bool SamePath(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

// A path a file record may carry: full, with the \\?\ prefix.
bool PlausiblePath(const std::wstring& path) { return path.size() > 6 && path.compare(0, 4, L"\\\\?\\") == 0; }

bool PlausibleRecord(const JournalRecord& record) {
    switch (record.kind) {
        case JournalKind::kFileCreated:
        case JournalKind::kFolderCreated:
        case JournalKind::kKeep: return PlausiblePath(record.path);
        case JournalKind::kStaging:
            return PlausiblePath(record.path) && !record.other.empty() && record.other.size() <= 8 &&
                   record.other.find_first_not_of(L"0123456789abcdef") == std::wstring::npos;
        case JournalKind::kFileAside:
        case JournalKind::kFileMoved: return PlausiblePath(record.path) && PlausiblePath(record.other);
        case JournalKind::kKeyCreated:
        case JournalKind::kValueOld:
        case JournalKind::kKeyDeleted: {
            const DWORD views = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
            std::wstring subkey;
            return (record.view & ~views) == 0 && record.view != views && JournalRootKey(record.path, &subkey);
        }
        default: return true;
    }
}

struct ParsedJournal {
    std::vector<JournalRecord> records;
    bool committed = false;
    bool damaged = false;
};

ParsedJournal Parse(uint32_t appId, const std::vector<uint8_t>& bytes) {
    ParsedJournal parsed;
    size_t offset = 0;
    if (!DecodeJournalHeader(bytes, appId, &offset)) {
        parsed.damaged = !bytes.empty();  // an empty file: the header's write never happened
        return parsed;
    }
    for (;;) {
        JournalRecord record;
        const JournalRead read = DecodeJournalRecord(bytes, &offset, &record);
        if (read == JournalRead::kEnd) break;
        if (read == JournalRead::kDamaged || !PlausibleRecord(record)) {
            parsed.damaged = true;
            break;
        }
        if (record.kind == JournalKind::kCommit) parsed.committed = true;
        parsed.records.push_back(std::move(record));
    }
    return parsed;
}

void RemoveAsideFolders(uint32_t appId, const std::vector<JournalRecord>& records) {
    std::vector<std::wstring> folders;
    for (const JournalRecord& record : records) {
        if (record.kind != JournalKind::kFileAside) continue;
        const std::wstring folder = record.other.substr(0, record.other.find_last_of(L'\\'));
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    for (const std::wstring& folder : folders)
        if (SamePath(folder, AsideFolder(appId, folder + L"\\x"))) ::RemoveDirectoryW(folder.c_str());
}

// Undoes or finishes what the records say, then removes the journal open as `file`. A rollback cut short
// here runs again from its start at the next recovery: every undo can run twice.
void MarkForDeletion(HANDLE file) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (!::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)))
        TraceLine(L"the install journal cannot be deleted, error %lu\r\n", ::GetLastError());
}

void Finish(uint32_t appId, HANDLE file, const ParsedJournal& parsed, bool* restartNeeded) {
    const RedirectionOff redirection;
    if (parsed.committed) {
        for (const JournalRecord& record : parsed.records) DropAsideFile(appId, record, restartNeeded);
    } else {
        std::vector<std::wstring> kept;
        for (const JournalRecord& record : parsed.records)
            if (record.kind == JournalKind::kKeep) kept.push_back(record.path);
        auto isKept = [&kept](const std::wstring& path) {
            return std::any_of(kept.begin(), kept.end(), [&path](const std::wstring& k) { return SamePath(k, path); });
        };
        bool unused = false;
        for (auto it = parsed.records.rbegin(); it != parsed.records.rend(); ++it) {
            const bool fileRecord = it->kind == JournalKind::kFileCreated || it->kind == JournalKind::kFileAside;
            if (fileRecord && isKept(it->path)) {
                DropAsideFile(appId, *it, &unused);
                continue;
            }
            UndoJournalRecord(appId, parsed.records, static_cast<size_t>(parsed.records.rend() - it) - 1);
        }
    }
    RemoveAsideFolders(appId, parsed.records);
    MarkForDeletion(file);
}

void RemoveFolderAndPointer(uint32_t appId) {
    const std::wstring folder = JournalFolder(appId);
    ::RemoveDirectoryW((folder + L"\\old").c_str());
    ::RemoveDirectoryW(folder.c_str());
    DeleteJournalPointer(appId);
}

UniqueFileHandle OpenJournalFile(const std::wstring& path, DWORD disposition) {
    return UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, disposition,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace

bool Journal::Begin(uint32_t appId) {
    const std::wstring folder = JournalFolder(appId);
    if (folder.empty() || !MakeTrustedFolder(folder)) return false;
    // The value first: a journal file is never left that nothing finds.
    if (!WriteJournalPointer(appId, folder)) {
        TraceLine(L"the install journal cannot be registered, error %lu\r\n", ::GetLastError());
        return false;
    }
    UniqueFileHandle file = OpenJournalFile(JournalFile(folder), CREATE_NEW);
    if (!file || !WriteAll(file.Get(), EncodeJournalHeader(appId))) {
        TraceLine(L"the install journal cannot be made, error %lu\r\n", ::GetLastError());
        if (file) MarkForDeletion(file.Get());
        return false;
    }
    ::AcquireSRWLockExclusive(&lock_);
    file_ = std::move(file);
    appId_ = appId;
    ending_ = false;
    torn_ = false;
    ::ReleaseSRWLockExclusive(&lock_);
    return true;
}

bool Journal::Active() {
    ::AcquireSRWLockShared(&lock_);
    const bool active = file_ && !ending_;
    ::ReleaseSRWLockShared(&lock_);
    return active;
}

bool Journal::Enter() {
    ::AcquireSRWLockShared(&lock_);
    const bool open = file_ && !ending_;
    if (open) ::InterlockedIncrement(&pending_);
    ::ReleaseSRWLockShared(&lock_);
    return open;
}

void Journal::Leave() {
    if (::InterlockedDecrement(&pending_) < 0) ::InterlockedIncrement(&pending_);
}

bool Journal::Append(const JournalRecord& record) {
    const std::vector<uint8_t> bytes = EncodeJournalRecord(record);
    ::AcquireSRWLockExclusive(&lock_);
    const bool written = file_ && !ending_ && !torn_ && AppendWhole(file_.Get(), bytes, &torn_);
    const DWORD error = ::GetLastError();
    ::ReleaseSRWLockExclusive(&lock_);
    if (!written) TraceLine(L"journal record for %ls not written, error %lu: change refused\r\n", record.path.c_str(), error);
    return written;
}

// A name nothing has in the folder: a record never names a file an earlier run left there.
std::wstring Journal::NextAsideName(const std::wstring& folder) {
    const std::wstring run = folder + L"\\" + std::to_wstring(::GetCurrentProcessId()) + L"-";
    for (int tries = 0; tries < 1000; ++tries) {
        const std::wstring name = run + std::to_wstring(++asideCount_) + L".old";
        if (::GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES && ::GetLastError() == ERROR_FILE_NOT_FOUND)
            return name;
    }
    return std::wstring();
}

bool Journal::MoveAside(const std::wstring& path) {
    const std::wstring folder = AsideFolder(appId_, path);
    if (folder.empty()) {
        TraceLine(L"no place for the old file %ls: change refused\r\n", path.c_str());
        return false;
    }
    ::AcquireSRWLockExclusive(&lock_);
    const std::wstring mark = folder + L"|";
    const bool known = madeAsideFolders_.find(mark) != std::wstring::npos;
    const bool ready = known || MakeTrustedFolder(folder);
    if (ready && !known) madeAsideFolders_ += mark;
    JournalRecord record;
    record.kind = JournalKind::kFileAside;
    record.path = path;
    record.other = NextAsideName(folder);
    ::ReleaseSRWLockExclusive(&lock_);
    if (!ready || record.other.empty() || !Append(record)) return false;
    TraceLine(L"install journal: moving aside %ls\r\n", path.c_str());
    if (::MoveFileExW(path.c_str(), record.other.c_str(), 0)) return true;
    // A file some program holds cannot be renamed; a second name keeps its content (on the same volume,
    // never a copy) while the action meets the file in use as it would have without the journal.
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if ((error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) && attributes != INVALID_FILE_ATTRIBUTES &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY) && ::CreateHardLinkW(record.other.c_str(), path.c_str(), nullptr)) {
        TraceLine(L"install journal: %ls is in use, its content kept under a second name\r\n", path.c_str());
        return true;
    }
    ::SetLastError(error);
    TraceLine(L"the old file %ls cannot be moved aside, error %lu: change refused\r\n", path.c_str(), ::GetLastError());
    return false;
}

bool Journal::LockFor(DWORD milliseconds) {
    const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
    while (!::TryAcquireSRWLockExclusive(&lock_)) {
        if (::GetTickCount64() > deadline) return false;
        ::Sleep(1);
    }
    return true;
}

bool Journal::Commit(bool* restartNeeded) {
    *restartNeeded = false;
    JournalRecord commit;
    commit.kind = JournalKind::kCommit;
    const std::vector<uint8_t> bytes = EncodeJournalRecord(commit);
    ::AcquireSRWLockExclusive(&lock_);
    if (!file_ || ending_) {
        ::ReleaseSRWLockExclusive(&lock_);
        return false;
    }
    ending_ = true;
    // Until the commit record is on disk the run can still be rolled back; from then on it is complete.
    const bool committed = !torn_ && AppendWhole(file_.Get(), bytes, &torn_) && ::FlushFileBuffers(file_.Get());
    if (!committed) TraceLine(L"the install journal's commit cannot be written, error %lu\r\n", ::GetLastError());
    TraceLine(L"install journal: commit\r\n");
    std::vector<uint8_t> content;
    ParsedJournal parsed;
    if (ReadAll(file_.Get(), &content)) parsed = Parse(appId_, content);
    // Without its commit record a journal left now would be rolled back over deleted old files: it goes
    // first, and a death from here on leaves old files behind, never a half-undone install.
    if (!committed) MarkForDeletion(file_.Get()), file_.Reset();
    parsed.committed = true;
    if (file_) {
        Finish(appId_, file_.Get(), parsed, restartNeeded);
    } else {
        const RedirectionOff redirection;
        for (const JournalRecord& record : parsed.records) DropAsideFile(appId_, record, restartNeeded);
    }
    file_.Reset();
    RemoveFolderAndPointer(appId_);
    ::ReleaseSRWLockExclusive(&lock_);
    if (*restartNeeded) TraceLine(L"restart needed\r\n");
    return true;
}

void Journal::Rollback() {
    if (!LockFor(kEndWaitMs)) {
        TraceLine(L"the install journal is busy: the next start rolls this run back\r\n");
        return;
    }
    if (!file_ || ending_) {
        ::ReleaseSRWLockExclusive(&lock_);
        return;
    }
    ending_ = true;  // from here on every change is refused
    ::ReleaseSRWLockExclusive(&lock_);
    const ULONGLONG deadline = ::GetTickCount64() + kEndWaitMs;
    while (pending_ > 0 && ::GetTickCount64() < deadline) ::Sleep(5);
    if (!LockFor(kEndWaitMs)) return;
    TraceLine(L"install journal: rollback\r\n");
    std::vector<uint8_t> content;
    if (ReadAll(file_.Get(), &content)) {
        bool unused = false;
        Finish(appId_, file_.Get(), Parse(appId_, content), &unused);
        file_.Reset();
        RemoveFolderAndPointer(appId_);
    } else {
        TraceLine(L"the install journal cannot be read back, error %lu\r\n", ::GetLastError());
    }
    ::ReleaseSRWLockExclusive(&lock_);
}

JournalRecovery RecoverJournal(uint32_t appId) {
    const std::wstring folder = ReadJournalPointer(appId);
    if (folder.empty()) return JournalRecovery::kNone;
    if (!MakeTrustedFolder(folder)) return JournalRecovery::kUnusable;
    UniqueFileHandle file = OpenJournalFile(JournalFile(folder), OPEN_EXISTING);
    if (!file) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION) {
            TraceLine(L"the install journal is held by a running setup\r\n");
            return JournalRecovery::kBusy;
        }
        if (error == ERROR_FILE_NOT_FOUND) {  // the run died before its journal had its first byte
            RemoveFolderAndPointer(appId);
            return JournalRecovery::kNone;
        }
        TraceLine(L"the install journal cannot be opened, error %lu\r\n", error);
        return JournalRecovery::kUnusable;
    }
    std::vector<uint8_t> content;
    if (!ReadAll(file.Get(), &content)) {
        TraceLine(L"the install journal cannot be read, error %lu\r\n", ::GetLastError());
        return JournalRecovery::kUnusable;
    }
    const ParsedJournal parsed = Parse(appId, content);
    if (parsed.damaged) TraceLine(L"the install journal is damaged after %u records\r\n", unsigned(parsed.records.size()));
    bool restartNeeded = false;
    Finish(appId, file.Get(), parsed, &restartNeeded);
    file.Reset();
    RemoveFolderAndPointer(appId);
    TraceLine(parsed.committed ? L"the install journal of an earlier run was found committed\r\n"
                               : L"the install journal of an earlier run was rolled back\r\n");
    return parsed.committed ? JournalRecovery::kFoundCommitted : JournalRecovery::kRolledBack;
}

}  // namespace orv
