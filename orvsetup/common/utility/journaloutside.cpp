// Outside changes undone at a rollback: their targets checked against the journal, then the shared undo.
#include "utility/journaloutside.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string>

#include "utility/journalplace.h"
#include "utility/journalundo.h"
#include "utility/outsideundo.h"
#include "utility/trace.h"

namespace orv {
namespace {

constexpr size_t kMaxServiceName = 256;

bool Refused(const JournalRecord& record, const wchar_t* why) {
    TraceLine(L"rollback: outside change %ls not undone, %ls (undo: %ls)\r\n", record.path.c_str(), why,
              record.other.c_str());
    return false;
}

bool Undone(const JournalRecord& record) {
    TraceLine(L"rollback: outside change undone: %ls (undo: %ls)\r\n", record.path.c_str(), record.other.c_str());
    return true;
}

bool UndoFailed(const JournalRecord& record, DWORD error) {
    TraceLine(L"rollback: undoing outside change %ls failed, error %lu (undo: %ls)\r\n", record.path.c_str(), error,
              record.other.c_str());
    return false;
}

// A full path that names one place however it is read: "\\?\X:\..." or "\\?\UNC\server\share\...", every
// part a plain name (the prefix turns off the resolution of "." and ".."; no stream, no wildcard).
bool CanonicalFullPath(const std::wstring& path) {
    size_t start = 0;
    if (path.compare(0, 4, L"\\\\?\\") != 0) return false;
    if (path.size() > 7 && iswalpha(path[4]) && path[5] == L':' && path[6] == L'\\') {
        start = 7;
    } else if (path.compare(4, 4, L"UNC\\") == 0) {
        start = 8;
    } else {
        return false;
    }
    for (;;) {
        const size_t end = std::min(path.find(L'\\', start), path.size());
        const std::wstring part = path.substr(start, end - start);
        if (part.empty() || part == L"." || part == L".." || part.find_first_of(L"/:*?\"<>|") != std::wstring::npos)
            return false;
        for (wchar_t c : part)
            if (c < 0x20) return false;
        if (end == path.size()) return true;
        start = end + 1;
    }
}

// Whether a record before `index` shows that the run created the file `path`.
bool CreatedEarlier(const std::vector<JournalRecord>& records, size_t index, const std::wstring& path) {
    if (!CanonicalFullPath(path)) return false;
    for (size_t k = 0; k < index; ++k)
        if (records[k].kind == JournalKind::kFileCreated && _wcsicmp(records[k].path.c_str(), path.c_str()) == 0)
            return true;
    return false;
}

// What stands at `path`: 0 when nothing, 1 for a plain file, -1 for a folder, a link or a junction.
int PlainFileAt(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ? -1 : 1;
}

bool UndoFile(const JournalRecord& record, const std::wstring& target) {
    if (!CanonicalFullPath(target)) return Refused(record, L"its target is not a full path");
    if (LiesBehindLink(target)) return false;
    const int found = PlainFileAt(target);
    if (found == 0) return true;  // never made, or already undone
    if (found < 0) return Refused(record, L"its target is not a plain file");
    if (record.hadValue) {  // an earlier install's file the script's helper wrote again: deleting it would lose it
        TraceLine(L"rollback: outside change %ls not undone, its file was there before the change was recorded\r\n",
                  record.path.c_str());
        return true;
    }
    return DeleteCreatedFile(target) && Undone(record);
}

bool UndoService(const std::vector<JournalRecord>& records, size_t index, const std::wstring& name) {
    const JournalRecord& record = records[index];
    if (name.empty() || name.size() > kMaxServiceName || name.find_first_of(L"\\/") != std::wstring::npos)
        return Refused(record, L"its service name is not usable");
    const auto createdByRun = [&](const std::wstring& program) {
        return CreatedEarlier(records, index, LongPath(program));
    };
    DWORD error = 0;
    switch (DeleteServiceIf(name, createdByRun, &error)) {
        case OutsideUndone::kDone: return Undone(record);
        case OutsideUndone::kRefused: return Refused(record, L"the service's program was not installed by this run");
        case OutsideUndone::kFailed: break;
    }
    return UndoFailed(record, error);
}

// A rollback turns the file system redirection of a 32-bit process on 64-bit Windows off, and loading a
// DLL needs it on (a no-op where there is none).
class RedirectionForLoad {
public:
    RedirectionForLoad() : on_(::Wow64EnableWow64FsRedirection(TRUE) != FALSE) {}
    ~RedirectionForLoad() {
        if (on_) ::Wow64EnableWow64FsRedirection(FALSE);
    }
    RedirectionForLoad(const RedirectionForLoad&) = delete;
    RedirectionForLoad& operator=(const RedirectionForLoad&) = delete;

private:
    bool on_;
};

// Runs before the DLL's own record is undone (newest first): the file is still there to ask.
bool UndoServer(const std::vector<JournalRecord>& records, size_t index, const std::wstring& dll) {
    const JournalRecord& record = records[index];
    if (!CanonicalFullPath(dll)) return Refused(record, L"its target is not a full path");
    if (!CreatedEarlier(records, index, dll)) return Refused(record, L"its DLL was not installed by this run");
    if (LiesBehindLink(dll)) return false;
    const int found = PlainFileAt(dll);
    if (found == 0) return true;
    if (found < 0) return Refused(record, L"its target is not a plain file");
    DWORD error = 0;
    const RedirectionForLoad redirection;
    return UnregisterServerDll(dll, &error) == OutsideUndone::kDone ? Undone(record) : UndoFailed(record, error);
}

}  // namespace

bool UndoOutsideChange(const std::vector<JournalRecord>& records, size_t index) {
    const JournalRecord& record = records[index];
    const size_t space = record.other.find(L' ');
    const std::wstring undo = record.other.substr(0, space);
    const std::wstring target = space == std::wstring::npos ? std::wstring() : record.other.substr(space + 1);
    if (undo == L"file") return UndoFile(record, target);
    if (undo == L"service") return UndoService(records, index, target);
    if (undo == L"server") return UndoServer(records, index, target);
    return Refused(record, L"its undo is unknown");
}

}  // namespace orv
