// Each kind of logged entry removed, never through a link out of the place it lies in.
#include "orvscriptengine/logremoval.h"

#include <algorithm>
#include <cwchar>

#include "orvscriptengine/changenotice.h"
#include "orvscriptengine/foldercreation.h"
#include "orvscriptengine/logplaces.h"
#include "utility/folderidentity.h"
#include "utility/outsideundo.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace {

enum class Outcome { kRemoved, kFailed, kKept };

struct Removal {
    const std::wstring& installFolder;
    const std::vector<std::wstring>& places;
    const RemovalCallbacks& callbacks;
    std::vector<RecordEntry> remaining;
};

void Trace(const wchar_t* what, const RecordEntry& entry) {
    TraceLine(L"Fun:Lua_RemoveInstallLog, Description:%ls %ls\r\n", Describe(entry).c_str(), what);
}

// The place `path` was accepted in: the install folder, or the shell place holding it.
std::wstring PlaceOf(const std::wstring& path, const Removal& removal) {
    if (PathIsWithin(path, removal.installFolder)) return removal.installFolder;
    for (const std::wstring& place : removal.places)
        if (!place.empty() && PathIsWithin(path, place)) return place;
    return std::wstring();
}

// No junction or link from the place the entry was accepted in down to its parent.
bool NoLinkOnTheWay(const std::wstring& path, const Removal& removal) {
    return ::orv::NoLinkOnTheWay(PlaceOf(path, removal), path);
}

Outcome Failed(const Removal& removal, const std::wstring& what, DWORD error) {
    if (removal.callbacks.onError) removal.callbacks.onError(what, error);
    return Outcome::kFailed;
}

Outcome RemoveFile(const std::wstring& path, Removal& removal) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Outcome::kRemoved;
    if (removal.callbacks.keep && removal.callbacks.keep(path)) return Outcome::kKept;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        TraceLine(L"Fun:Lua_RemoveInstallLog, Description:%ls is a folder now, kept\r\n", path.c_str());
        return Outcome::kKept;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    // A link in the file's place is removed itself; its target is never touched.
    const BOOL deleted = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(path.c_str())
                                                                 : ::DeleteFileW(path.c_str());
    if (deleted) return Outcome::kRemoved;
    Failed(removal, path, ::GetLastError());
    // The callback may have moved the file aside (to be deleted at the next start): its place is free then.
    return ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? Outcome::kRemoved : Outcome::kFailed;
}

HKEY RootKey(const std::wstring& root) {
    if (root == L"HKCR") return HKEY_CLASSES_ROOT;
    if (root == L"HKCU") return HKEY_CURRENT_USER;
    if (root == L"HKLM") return HKEY_LOCAL_MACHINE;
    if (root == L"HKU") return HKEY_USERS;
    return nullptr;
}

Outcome RemoveValue(const RecordEntry& entry, Removal& removal) {
    UniqueHKey key;
    const LONG opened = ::RegOpenKeyExW(RootKey(entry.root), entry.key.c_str(), 0, KEY_SET_VALUE | entry.view, key.Put());
    if (opened == ERROR_FILE_NOT_FOUND) return Outcome::kRemoved;
    const LONG deleted = opened == ERROR_SUCCESS ? ::RegDeleteValueW(key.Get(), entry.valueName.c_str()) : opened;
    if (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) return Outcome::kRemoved;
    return Failed(removal, Describe(entry), static_cast<DWORD>(deleted));
}

// A key the install created goes only when it holds nothing: what is left in it the install did not make
// (its own values and subkeys, newer than the key, were removed before).
Outcome RemoveKey(const RecordEntry& entry, Removal& removal) {
    UniqueHKey key;
    const LONG opened = ::RegOpenKeyExW(RootKey(entry.root), entry.key.c_str(), 0, KEY_READ | entry.view, key.Put());
    if (opened == ERROR_FILE_NOT_FOUND) return Outcome::kRemoved;
    DWORD subkeys = 0, values = 0;
    if (opened != ERROR_SUCCESS || ::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                                      &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return Failed(removal, Describe(entry), static_cast<DWORD>(opened));
    if (subkeys != 0 || values != 0) {
        Trace(L"kept, it holds what the install did not create", entry);
        return Outcome::kKept;
    }
    key.Reset();
    const LONG deleted = ::RegDeleteKeyExW(RootKey(entry.root), entry.key.c_str(), entry.view, 0);
    if (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) return Outcome::kRemoved;
    return Failed(removal, Describe(entry), static_cast<DWORD>(deleted));
}

// A service is stopped and deleted only when its program lies in the install folder.
Outcome RemoveService(const RecordEntry& entry, Removal& removal) {
    DWORD error = 0;
    const auto inInstallFolder = [&removal](const std::wstring& program) {
        return PathIsWithin(program, removal.installFolder);
    };
    switch (DeleteServiceIf(entry.path, inInstallFolder, &error)) {
        case OutsideUndone::kDone: return Outcome::kRemoved;
        case OutsideUndone::kRefused:
            Trace(L"refused, its program lies outside the install folder", entry);
            return Outcome::kKept;
        case OutsideUndone::kFailed: break;
    }
    return Failed(removal, Describe(entry), error);
}

// A COM server in the install folder unregisters itself.
Outcome UnregisterServer(const RecordEntry& entry, Removal& removal) {
    if (::GetFileAttributesW(entry.path.c_str()) == INVALID_FILE_ATTRIBUTES) return Outcome::kRemoved;
    if (!NoLinkOnTheWay(entry.path, removal)) {
        Trace(L"refused, it lies behind a link", entry);
        return Outcome::kKept;
    }
    DWORD error = 0;
    if (UnregisterServerDll(entry.path, &error) == OutsideUndone::kDone) return Outcome::kRemoved;
    return Failed(removal, Describe(entry), error);
}

Outcome RemoveOne(const RecordEntry& entry, Removal& removal) {
    const bool onDisk = entry.kind == EntryKind::kFile || entry.kind == EntryKind::kShortcut ||
                        (entry.kind == EntryKind::kOutside && entry.undo == L"file");
    if (onDisk && !NoLinkOnTheWay(entry.path, removal)) {
        Trace(L"refused, it lies behind a link", entry);
        return Outcome::kKept;
    }
    if (onDisk) return RemoveFile(entry.path, removal);
    switch (entry.kind) {
        case EntryKind::kRegValue: return RemoveValue(entry, removal);
        case EntryKind::kRegKey: return RemoveKey(entry, removal);
        case EntryKind::kOutside:
            return entry.undo == L"service" ? RemoveService(entry, removal) : UnregisterServer(entry, removal);
        default: return Outcome::kKept;
    }
}

// The change notice a removal sends before it touches anything.
Change ChangeFor(const RecordEntry& entry) {
    Change change;
    change.path = entry.path;
    change.root = entry.root;
    change.key = entry.key;
    change.valueName = entry.valueName;
    change.view = entry.view;
    change.existed = true;
    switch (entry.kind) {
        case EntryKind::kFolder: change.kind = ChangeKind::kFolderDeleted; break;
        case EntryKind::kRegKey: change.kind = ChangeKind::kRegKeyDeleted; break;
        case EntryKind::kRegValue: change.kind = ChangeKind::kRegValueDeleted; break;
        case EntryKind::kOutside:
            change.kind = entry.undo == L"file" ? ChangeKind::kFileDeleted : ChangeKind::kOutsideUndone;
            change.undo = entry.undo;
            change.undoTarget = entry.path;
            change.description = entry.description;
            break;
        default: change.kind = ChangeKind::kFileDeleted; break;
    }
    return change;
}

// A removal the change listeners heard of first; one they refused stays for a later run.
template <typename Remove>
Outcome Noticed(const RecordEntry& entry, Remove remove) {
    ChangeNotice notice("Lua_RemoveInstallLog", ChangeFor(entry));
    if (!notice.Allowed()) return Outcome::kFailed;
    const Outcome outcome = remove();
    notice.Done(outcome == Outcome::kRemoved);
    return outcome;
}

// A folder the install made goes when it is empty; one that still holds a failed entry stays listed.
Outcome RemoveFolder(const RecordEntry& entry, Removal& removal) {
    const DWORD attributes = ::GetFileAttributesW(entry.path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Outcome::kRemoved;
    if (!NoLinkOnTheWay(entry.path, removal)) {
        Trace(L"refused, it lies behind a link", entry);
        return Outcome::kKept;
    }
    if (::RemoveDirectoryW(entry.path.c_str())) return Outcome::kRemoved;
    const DWORD error = ::GetLastError();
    for (const RecordEntry& left : removal.remaining)
        if (left.kind != EntryKind::kRegKey && left.kind != EntryKind::kRegValue && PathIsWithin(left.path, entry.path))
            return Outcome::kFailed;  // finished by a later run, with what it holds
    if (error == ERROR_DIR_NOT_EMPTY) {
        Trace(L"kept, it holds files the install did not write", entry);
        return Outcome::kKept;
    }
    return Failed(removal, entry.path, error);
}

}  // namespace

std::vector<RecordEntry> RemoveLogged(const std::vector<RecordEntry>& entries, const std::wstring& installFolder,
                                      const RemovalCallbacks& callbacks) {
    const std::vector<std::wstring> places = ShellPlaces();
    Removal removal{installFolder, places, callbacks, {}};
    std::vector<const RecordEntry*> accepted;
    for (const RecordEntry& entry : entries) {
        const std::wstring refusal = RefusalOf(entry, installFolder, entries, places);
        if (refusal.empty()) {
            accepted.push_back(&entry);
        } else {
            TraceLine(L"Fun:Lua_RemoveInstallLog, Description:%ls refused, %ls\r\n", Describe(entry).c_str(),
                      refusal.c_str());
        }
    }
    std::vector<const RecordEntry*> folders;
    for (auto it = accepted.rbegin(); it != accepted.rend(); ++it) {
        if ((*it)->kind == EntryKind::kFolder) {
            folders.push_back(*it);
        } else if (Noticed(**it, [&] { return RemoveOne(**it, removal); }) == Outcome::kFailed) {
            removal.remaining.insert(removal.remaining.begin(), **it);
        }
    }
    if (callbacks.beforeFolders) callbacks.beforeFolders(removal.remaining.empty());
    for (const RecordEntry* folder : folders)  // newest first: a subfolder before the folder above it
        if (Noticed(*folder, [&] { return RemoveFolder(*folder, removal); }) == Outcome::kFailed)
            removal.remaining.insert(removal.remaining.begin(), *folder);
    return removal.remaining;
}

}  // namespace orv
