// The checks an install log's entries pass before anything is removed for them.
#include "orvscriptengine/logplaces.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "orvscriptengine/foldercreation.h"

namespace orv {
namespace {

std::wstring SpecialFolder(int csidl) {
    wchar_t path[MAX_PATH] = L"";
    return SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

bool Same(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

// A full path with a drive letter and nothing that Windows would take apart or read another way: no
// empty, "." or ".." component, none ending in a dot or a space, no control character, no second colon,
// no forward slash, no trailing separator.
bool IsPlainFullPath(const std::wstring& path) {
    if (path.size() < 4 || path.size() >= MAX_PATH || !iswalpha(path[0]) || path[1] != L':' || path[2] != L'\\')
        return false;
    size_t start = 3;
    for (;;) {
        const size_t slash = path.find(L'\\', start);
        const std::wstring part = path.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start);
        if (part.empty() || part == L"." || part == L".." || part.back() == L'.' || part.back() == L' ') return false;
        for (const wchar_t c : part)
            if (c < 0x20 || c == L':' || c == L'/' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' ||
                c == L'|')
                return false;
        if (slash == std::wstring::npos) return true;
        start = slash + 1;
    }
}

bool EndsWith(const std::wstring& text, const wchar_t* tail) {
    const size_t n = wcslen(tail);
    return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, tail) == 0;
}

bool InAPlace(const std::wstring& path, const std::vector<std::wstring>& places) {
    for (const std::wstring& place : places)
        if (!place.empty() && PathIsWithin(path, place) && !Same(path, place)) return true;
    return false;
}

// A file the removal may delete: in the install folder, or a shortcut in a shell place.
std::wstring FileRefusal(const std::wstring& path, const std::wstring& installFolder,
                         const std::vector<std::wstring>& places) {
    if (!IsPlainFullPath(path)) return L"it is no plain full path";
    if (PathIsWithin(path, installFolder) && !Same(path, installFolder)) return std::wstring();
    if ((EndsWith(path, L".lnk") || EndsWith(path, L".url")) && InAPlace(path, places)) return std::wstring();
    return L"it lies outside the install folder and the install's own places";
}

bool KnownRoot(const std::wstring& root) {
    for (const wchar_t* name : {L"HKCR", L"HKCU", L"HKLM", L"HKU"})
        if (root == name) return true;
    return false;
}

bool UnderCreatedKey(const RecordEntry& value, const std::vector<RecordEntry>& all) {
    for (const RecordEntry& e : all)
        if (e.kind == EntryKind::kRegKey && e.view == value.view && e.root == value.root &&
            PathIsWithin(value.key, e.key))
            return true;
    return false;
}

}  // namespace

std::vector<std::wstring> ShellPlaces() {
    std::vector<std::wstring> places;
    for (const int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS})
        places.push_back(SpecialFolder(csidl));
    const std::wstring appData = SpecialFolder(CSIDL_APPDATA);
    if (!appData.empty()) places.push_back(appData + L"\\Microsoft\\Internet Explorer\\Quick Launch");
    return places;
}

bool IsUsableInstallFolder(const std::wstring& folder) {
    if (!IsPlainFullPath(folder)) return false;
    for (const int csidl : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
                            CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROFILE, CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,
                            CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA, CSIDL_PROGRAMS,
                            CSIDL_COMMON_PROGRAMS}) {
        const std::wstring place = SpecialFolder(csidl);
        if (!place.empty() && PathIsWithin(place, folder)) return false;  // the folder holds a system folder
    }
    return true;
}

std::wstring RefusalOf(const RecordEntry& entry, const std::wstring& installFolder, const std::vector<RecordEntry>& all,
                       const std::vector<std::wstring>& places) {
    switch (entry.kind) {
        case EntryKind::kFile:
        case EntryKind::kShortcut:
            return FileRefusal(entry.path, installFolder, places);
        case EntryKind::kFolder:
            if (!IsPlainFullPath(entry.path)) return L"it is no plain full path";
            if (PathIsWithin(entry.path, installFolder) || InAPlace(entry.path, places)) return std::wstring();
            return L"it lies outside the install folder and the install's own places";
        case EntryKind::kRegKey:
            if (!KnownRoot(entry.root)) return L"its root is not one an install writes";
            return entry.key.find_first_not_of(L"\\ ") == std::wstring::npos ? L"it names a whole root" : L"";
        case EntryKind::kRegValue:
            if (!entry.created) return L"the value was there before the install";
            if (!KnownRoot(entry.root) || !UnderCreatedKey(entry, all)) return L"it lies in no key the install created";
            return std::wstring();
        case EntryKind::kOutside:
            if (entry.undo == L"file") return FileRefusal(entry.path, installFolder, places);
            if (entry.undo == L"server") {
                if (!EndsWith(entry.path, L".dll")) return L"the server is no DLL";
                return FileRefusal(entry.path, installFolder, {});
            }
            if (entry.undo == L"service")
                return entry.path.find_first_of(L"\\/") == std::wstring::npos ? L"" : L"it is no service name";
            return L"its undo is not one this engine knows";
    }
    return L"its kind is unknown";
}

std::wstring Describe(const RecordEntry& entry) {
    switch (entry.kind) {
        case EntryKind::kRegKey:
            return entry.root + L"\\" + entry.key;
        case EntryKind::kRegValue:
            return entry.root + L"\\" + entry.key + L"\\" + entry.valueName;
        case EntryKind::kOutside:
            return entry.undo + L" " + entry.path;
        default:
            return entry.path;
    }
}

}  // namespace orv
