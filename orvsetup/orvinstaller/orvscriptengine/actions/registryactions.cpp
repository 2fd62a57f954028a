// Registry values and special-folder variables: Lua_RegQuery, Lua_RegAdd, Lua_RegDel, Lua_RegVarByCSIDL.
// Keys are opened without a view flag: a 32-bit program sees its own (redirected) view.
#include "orvscriptengine/actions/actions.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/changenotice.h"
#include "orvscriptengine/pathexpand.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

#define ORV_TRACE_SOURCE L"registryactions"

namespace orv {
namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;  // 0x2001F

// The predefined key for a root name, compared exactly; null for anything else.
HKEY ParseRootKey(const std::wstring& name) {
    if (name == L"HKCR") return HKEY_CLASSES_ROOT;
    if (name == L"HKCU") return HKEY_CURRENT_USER;
    if (name == L"HKLM") return HKEY_LOCAL_MACHINE;
    if (name == L"HKU") return HKEY_USERS;
    if (name == L"HKCC") return HKEY_CURRENT_CONFIG;
    return nullptr;
}

LONG OpenKey(const std::wstring& root, const std::wstring& subkey, REGSAM access, UniqueHKey& key) {
    HKEY predefined = ParseRootKey(root);
    if (!predefined) return ERROR_INVALID_HANDLE;
    return ::RegOpenKeyExW(predefined, subkey.c_str(), 0, access, key.Put());
}

// The view the keys of this program are opened in: a 32-bit program on 64-bit Windows sees the 32-bit
// view, a 64-bit program the 64-bit one; 32-bit Windows has one view only.
REGSAM OwnView() {
#ifdef _WIN64
    return KEY_WOW64_64KEY;
#else
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_32KEY : 0;
#endif
}

Change RegistryChange(ChangeKind kind, const std::wstring& root, const std::wstring& subkey,
                      const std::wstring& name = std::wstring()) {
    Change change;
    change.kind = kind;
    change.root = root;
    change.key = subkey;
    change.valueName = name;
    change.view = OwnView();
    return change;
}

// The keys of `subkey` that are missing, the top-most first.
std::vector<std::wstring> MissingKeys(HKEY predefined, const std::wstring& subkey) {
    std::vector<std::wstring> missing;
    size_t end = 0;
    while (end != std::wstring::npos) {
        end = subkey.find(L'\\', end + 1);
        const std::wstring prefix = subkey.substr(0, end);
        if (prefix.empty() || prefix.back() == L'\\') continue;
        UniqueHKey key;
        if (::RegOpenKeyExW(predefined, prefix.c_str(), 0, KEY_READ, key.Put()) == ERROR_FILE_NOT_FOUND)
            missing.push_back(prefix);
    }
    return missing;
}

}  // namespace

// Lua_RegQuery(root, subkey, valueName) -> text, integer or nil. Reading needs read access only, so a
// standard user can read what the machine-wide install wrote.
int Lua_RegQuery(lua_State* L) {
    UniqueHKey key;
    std::wstring root, subkey, name;
    DWORD type = REG_NONE, size = 0;
    if (!ArgName(L, 1, root) || !ArgName(L, 2, subkey) || !ArgName(L, 3, name) ||
        OpenKey(root, subkey, KEY_READ, key) != ERROR_SUCCESS ||
        ::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        lua_pushnil(L);
        return 1;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD bytes = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
        if (::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
            ERROR_SUCCESS) {
            lua_pushnil(L);
            return 1;
        }
        PushText(L, std::wstring(text.data()));  // up to the terminator
        return 1;
    }
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD value = 0;
        if (::RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS) {
            lua_pushinteger(L, static_cast<lua_Integer>(static_cast<int32_t>(value)));
            return 1;
        }
    }
    lua_pushnil(L);
    return 1;
}

namespace {

// REG_BINARY data: hexadecimal text, two digits a byte; a pair that does not parse repeats the byte before.
std::vector<BYTE> ParseBinary(const std::wstring& text) {
    std::vector<BYTE> bytes((text.size() + 1) / 2);
    unsigned value = 0;
    for (size_t k = 0; k < bytes.size(); ++k) {
        swscanf(text.c_str() + 2 * k, L"%02X", &value);
        bytes[k] = static_cast<BYTE>(value);
    }
    return bytes;
}

}  // namespace

// Lua_RegAdd(root, subkey, valueName, typeName, data, overwrite) -> boolean: false when the root name is
// unknown, the key cannot be created, the type name is not one of the four or the write fails; true
// when the value was written or, without overwrite, was already there.
int Lua_RegAdd(lua_State* L) {
    std::wstring root, subkey, name;
    if (!ArgName(L, 1, root) || !ArgName(L, 2, subkey) || !ArgName(L, 3, name)) return PushFlag(L, false);
    const std::wstring type = ArgText(L, 4);
    HKEY predefined = ParseRootKey(root);
    std::vector<Change> keys;
    if (predefined)
        for (const std::wstring& missing : MissingKeys(predefined, subkey))
            keys.push_back(RegistryChange(ChangeKind::kRegKeyCreated, root, missing));
    size_t allowed = 0;
    while (allowed < keys.size() && NoticeBefore("Lua_RegAdd", keys[allowed])) ++allowed;
    if (allowed < keys.size()) {
        for (size_t k = 0; k < allowed; ++k) NoticeAfter(keys[k], false);
        return PushFlag(L, false);
    }
    UniqueHKey key;
    const LONG created = predefined ? ::RegCreateKeyExW(predefined, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                        kReadWrite, nullptr, key.Put(), nullptr)
                                    : ERROR_INVALID_HANDLE;
    for (const Change& made : keys) NoticeAfter(made, created == ERROR_SUCCESS);
    if (created != ERROR_SUCCESS) {
        TraceLine(L"Fun:Lua_RegAdd, Description:cannot open %ls\\%ls, errcode: %ld\r\n", root.c_str(), subkey.c_str(),
                  static_cast<long>(created));
        return PushFlag(L, false);
    }
    const bool existed =
        ::RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_FILE_NOT_FOUND;
    if (!ArgFlag(L, 6) && existed) return PushFlag(L, true);  // there already, and not to be overwritten

    DWORD valueType = REG_NONE;
    std::vector<BYTE> data;
    if (type == L"REG_SZ" || type == L"REG_EXPAND_SZ") {
        // String data ends at its first NUL for every reader, so one inside is refused like one in a name.
        std::wstring text;
        if (!ArgName(L, 5, text)) return PushFlag(L, false);
        if (type == L"REG_SZ") {
            std::wstring expanded;
            if (!ExpandText(text, expanded)) {
                TraceLine(L"Fun:Lua_RegAdd, Description:cannot expand the data of %ls, nothing written\r\n",
                          name.c_str());
                return PushFlag(L, false);
            }
            text.swap(expanded);
        }
        valueType = type == L"REG_SZ" ? REG_SZ : REG_EXPAND_SZ;
        const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
        data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
    } else if (type == L"REG_DWORD") {
        valueType = REG_DWORD;
        const uint32_t value = ToUInt32(L, 5);
        data.resize(sizeof(value));
        std::memcpy(data.data(), &value, sizeof(value));
    } else if (type == L"REG_BINARY") {
        valueType = REG_BINARY;
        data = ParseBinary(ArgText(L, 5));
    } else {
        TraceLine(L"Fun:Lua_RegAdd, Description:unknown value type %ls, nothing written\r\n", type.c_str());
        return PushFlag(L, false);
    }
    Change value = RegistryChange(ChangeKind::kRegValueSet, root, subkey, name);
    value.existed = existed;
    ChangeNotice notice("Lua_RegAdd", value);
    if (!notice.Allowed()) return PushFlag(L, false);
    const LONG written = ::RegSetValueExW(key.Get(), name.c_str(), 0, valueType, data.empty() ? nullptr : data.data(),
                                          static_cast<DWORD>(data.size()));
    if (written != ERROR_SUCCESS) {
        TraceLine(L"Fun:Lua_RegAdd, Description:cannot write %ls, errcode: %ld\r\n", name.c_str(),
                  static_cast<long>(written));
        return PushFlag(L, false);
    }
    return PushFlag(L, notice.Done(true));
}

// Lua_RegDel(root, subkey [, valueName]) -> boolean: one value, or the whole key tree. What is already
// absent counts as deleted; an empty subkey is never taken for "everything under the root".
int Lua_RegDel(lua_State* L) {
    std::wstring root, subkey;
    if (!ArgName(L, 1, root) || !ArgName(L, 2, subkey)) return PushFlag(L, false);
    if (lua_gettop(L) >= 3) {
        std::wstring name;
        if (!ArgName(L, 3, name)) return PushFlag(L, false);
        UniqueHKey key;
        const LONG opened = OpenKey(root, subkey, kReadWrite, key);
        if (opened == ERROR_FILE_NOT_FOUND) return PushFlag(L, true);
        if (opened != ERROR_SUCCESS) return PushFlag(L, false);
        ChangeNotice notice("Lua_RegDel", RegistryChange(ChangeKind::kRegValueDeleted, root, subkey, name));
        if (!notice.Allowed()) return PushFlag(L, false);
        const LONG deleted = ::RegDeleteValueW(key.Get(), name.c_str());
        TraceLine(L"Delete Value %ls, %ls, %ls", root.c_str(), subkey.c_str(), name.c_str());
        return PushFlag(L, notice.Done(deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND));
    }
    UniqueHKey rootKey;
    HKEY predefined = ParseRootKey(root);
    const LONG opened = predefined ? ::RegOpenKeyExW(predefined, nullptr, 0, kReadWrite, rootKey.Put())
                                   : ERROR_INVALID_HANDLE;
    if (opened != ERROR_SUCCESS) {
        TraceLine(L"OpenKey %ls failed, errcode: %ld\r\n", root.c_str(), static_cast<long>(opened));
        return PushFlag(L, false);
    }
    if (subkey.find_first_not_of(L"\\ ") == std::wstring::npos) {
        TraceLine(L"DeleteSubKey \"%ls\" refused: it names the whole of %ls", subkey.c_str(), root.c_str());
        return PushFlag(L, false);
    }
    ChangeNotice notice("Lua_RegDel", RegistryChange(ChangeKind::kRegKeyDeleted, root, subkey));
    if (!notice.Allowed()) return PushFlag(L, false);
    const LONG deleted = ::RegDeleteTreeW(rootKey.Get(), subkey.c_str());
    notice.Done(deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND);
    if (deleted == ERROR_FILE_NOT_FOUND) return PushFlag(L, true);
    if (deleted != ERROR_SUCCESS) {
        TraceLine(L"DeleteSubKey %ls failed, errcode: %ld", subkey.c_str(), static_cast<long>(deleted));
        return PushFlag(L, false);
    }
    return PushFlag(L, true);
}

// Lua_RegVarByCSIDL(variableName, csidl) -> boolean: the special folder's path as a process variable.
int Lua_RegVarByCSIDL(lua_State* L) {
    const int32_t csidl = ArgInteger(L, 2);
    wchar_t path[MAX_PATH] = L"";
    if (!::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) {
        const DWORD error = ::GetLastError();
        TraceLine(L"SHGetSpecialFolderPathW csidl=%d failed!\r\n", csidl);
        ORV_FAILURE_TRAILER(L"", error);
        return PushFlag(L, false);
    }
    std::wstring variable;
    if (!ArgName(L, 1, variable)) return PushFlag(L, false);
    if (!::SetEnvironmentVariableW(variable.c_str(), path)) {
        ORV_FAILURE_TRAILER(L"SetEnvironmentVariableW failed!", ::GetLastError());
        return PushFlag(L, false);
    }
    return PushFlag(L, true);
}

}  // namespace orv
