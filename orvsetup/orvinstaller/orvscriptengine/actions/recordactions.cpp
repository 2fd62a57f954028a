// The install record as scripts see it: changes made outside the engine added to it, the install log
// written from it, and what a log lists removed: Lua_RecordOutsideChange, Lua_WriteInstallLog,
// Lua_RemoveInstallLog.
#include "orvscriptengine/actions/actions.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/changenotice.h"
#include "orvscriptengine/foldercreation.h"
#include "orvscriptengine/installlog.h"
#include "orvscriptengine/logplaces.h"
#include "orvscriptengine/logremoval.h"
#include "orvscriptengine/scriptcallback.h"
#include "utility/trace.h"

namespace orv {
namespace {

// The install folder argument, full and usable, or a trace naming the action.
bool ArgInstallFolder(lua_State* L, int index, const char* action, std::wstring* folder) {
    std::wstring path;
    if (!ArgPath(L, index, path)) return false;
    *folder = FullPath(path);
    while (folder->size() > 3 && folder->back() == L'\\') folder->pop_back();
    if (IsUsableInstallFolder(*folder)) return true;
    TraceLine(L"Fun:%hs, Description:%ls cannot be an install folder, refused\r\n", action, folder->c_str());
    return false;
}

std::wstring LogFileIn(const std::wstring& folder) { return folder + L"\\" + kInstallLogName; }

// An install by a setup that kept no log: its folder and the folders of the files this install wrote in it
// count as the install's own, so they go once empty.
void AdoptFoldersOfUnloggedInstall(const std::wstring& folder, std::vector<RecordEntry>* entries) {
    std::vector<RecordEntry> adopted;
    auto adopt = [&](const std::wstring& path) {
        RecordEntry entry;
        entry.kind = EntryKind::kFolder;
        entry.path = path;
        AddEntry(adopted, entry);
    };
    adopt(folder);
    for (const RecordEntry& e : *entries) {
        if (e.kind != EntryKind::kFile || !PathIsWithin(e.path, folder)) continue;
        for (size_t slash = e.path.find(L'\\', folder.size() + 1); slash != std::wstring::npos;
             slash = e.path.find(L'\\', slash + 1))
            adopt(e.path.substr(0, slash));
    }
    for (const RecordEntry& e : *entries) AddEntry(adopted, e);
    entries->swap(adopted);
}

// The old log of an upgrade: the one in the install folder, else the one in the folder the product was in.
LogRead ReadOldLog(const std::wstring& folder, const std::wstring& previous, std::vector<RecordEntry>* old) {
    const LogRead read = ReadLog(LogFileIn(folder), old);
    if (read != LogRead::kMissing || previous.empty() || _wcsicmp(previous.c_str(), folder.c_str()) == 0) return read;
    const LogRead moved = ReadLog(LogFileIn(previous), old);
    const size_t before = old->size();
    old->erase(std::remove_if(old->begin(), old->end(),
                              [&](const RecordEntry& e) {
                                  return e.kind != EntryKind::kRegKey && e.kind != EntryKind::kRegValue &&
                                         PathIsWithin(e.path, previous);
                              }),
               old->end());
    if (old->size() != before)
        TraceLine(L"Fun:Lua_WriteInstallLog, Description:%u entries in %ls stay with that folder's log\r\n",
                  static_cast<unsigned>(before - old->size()), previous.c_str());
    return moved;
}

}  // namespace

// Lua_RecordOutsideChange(undo, target, description) -> boolean: a change the script made outside the engine,
// added to the record with its undo: "file" (the file `target` is deleted), "service" (the service named
// `target` is stopped and deleted) or "server" (the DLL `target` unregisters itself).
int Lua_RecordOutsideChange(lua_State* L) {
    Change change;
    change.kind = ChangeKind::kOutsideChange;
    change.undo = ArgText(L, 1);
    change.description = ArgText(L, 3);
    const bool isService = change.undo == L"service";
    if (!isService && change.undo != L"file" && change.undo != L"server") {
        TraceLine(L"Fun:Lua_RecordOutsideChange, Description:unknown undo \"%ls\", nothing recorded\r\n",
                  change.undo.c_str());
        return PushFlag(L, false);
    }
    std::wstring target;
    if (isService ? !ArgName(L, 2, target) : !ArgPath(L, 2, target)) return PushFlag(L, false);
    change.undoTarget = isService ? target : FullPath(target);
    if (change.undoTarget.empty()) return PushFlag(L, false);
    ChangeNotice notice("Lua_RecordOutsideChange", change);
    return PushFlag(L, notice.Allowed() && notice.Done(true));
}

// Lua_WriteInstallLog(folder [, previousFolder]) -> boolean: the record of this run written as the install
// log of `folder`, merged with the log an earlier install left there (or in `previousFolder`, where the
// product was before). Entries a removal would refuse are left out with a trace.
int Lua_WriteInstallLog(lua_State* L) {
    std::wstring folder, previous;
    if (!ArgInstallFolder(L, 1, "Lua_WriteInstallLog", &folder)) return PushFlag(L, false);
    if (lua_gettop(L) >= 2 && !lua_isnil(L, 2) && ArgPath(L, 2, previous)) previous = FullPath(previous);
    std::vector<RecordEntry> merged;
    const LogRead read = ReadOldLog(folder, previous, &merged);
    if (read == LogRead::kRefused)
        TraceLine(L"Fun:Lua_WriteInstallLog, Description:the old log of %ls is not used\r\n", folder.c_str());
    for (const RecordEntry& entry : InstallRecord::Instance().Entries()) AddEntry(merged, entry);
    if (read == LogRead::kMissing) AdoptFoldersOfUnloggedInstall(folder, &merged);
    const std::vector<std::wstring> places = ShellPlaces();
    std::vector<RecordEntry> kept;
    for (const RecordEntry& entry : merged) {
        const std::wstring refusal = RefusalOf(entry, folder, merged, places);
        if (refusal.empty()) {
            kept.push_back(entry);
        } else {
            TraceLine(L"Fun:Lua_WriteInstallLog, Description:%ls left out, %ls\r\n", Describe(entry).c_str(),
                      refusal.c_str());
        }
    }
    const bool written = WriteLog(LogFileIn(folder), kept);
    if (written) TraceLine(L"Install log %ls: %u entries\r\n", LogFileIn(folder).c_str(), static_cast<unsigned>(kept.size()));
    return PushFlag(L, written);
}

// Lua_RemoveInstallLog(folder [, onError [, keep]]) -> boolean: removes, newest first, what the install log of
// `folder` lists; each entry that cannot be removed goes to onError(what, code) and stays in the log for a
// later run. `keep` is a table of paths that stay. True when everything was removed and the log with it.
int Lua_RemoveInstallLog(lua_State* L) {
    std::wstring folder;
    if (!ArgInstallFolder(L, 1, "Lua_RemoveInstallLog", &folder)) return PushFlag(L, false);
    ScriptCallback onError(L, lua_type(L, 2) == LUA_TFUNCTION ? 2 : 0);
    std::vector<std::wstring> keep;
    if (lua_type(L, 3) == LUA_TTABLE) {
        const size_t count = lua_rawlen(L, 3);
        for (size_t k = 1; k <= count && k <= kMaxLogEntries; ++k) {
            lua_rawgeti(L, 3, static_cast<int>(k));
            std::wstring path;
            if (lua_type(L, -1) == LUA_TSTRING && ArgPath(L, lua_gettop(L), path)) keep.push_back(FullPath(path));
            lua_pop(L, 1);
        }
    }
    const std::wstring logFile = LogFileIn(folder);
    std::vector<RecordEntry> entries;
    const LogRead read = ReadLog(logFile, &entries);
    if (read != LogRead::kRead) {
        if (read == LogRead::kMissing)
            TraceLine(L"Fun:Lua_RemoveInstallLog, Description:%ls has no install log, nothing removed\r\n",
                      folder.c_str());
        return PushFlag(L, false);
    }
    RemovalCallbacks callbacks;
    if (!onError.Empty())
        callbacks.onError = [&onError](const std::wstring& what, DWORD error) {
            onError.Call(what, static_cast<int>(error));
        };
    callbacks.keep = [&keep](const std::wstring& path) {
        for (const std::wstring& kept : keep)
            if (_wcsicmp(kept.c_str(), path.c_str()) == 0) return true;
        return false;
    };
    callbacks.beforeFolders = [&logFile](bool nothingFailed) {
        if (nothingFailed) ::DeleteFileW(logFile.c_str());
    };
    const std::vector<RecordEntry> remaining = RemoveLogged(entries, folder, callbacks);
    if (remaining.empty()) {
        TraceLine(L"Install log %ls: everything removed\r\n", logFile.c_str());
        return PushFlag(L, true);
    }
    TraceLine(L"Install log %ls: %u entries left for a later run\r\n", logFile.c_str(),
              static_cast<unsigned>(remaining.size()));
    WriteLog(logFile, remaining);
    return PushFlag(L, false);
}

}  // namespace orv
