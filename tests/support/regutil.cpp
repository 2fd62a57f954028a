#include "regutil.h"

#include <vector>

namespace orv {
namespace test {

LONG RegKey::Open(HKEY root, const std::wstring& path, REGSAM access, REGSAM view) {
    Close();
    HKEY k = nullptr;
    LONG rc = ::RegOpenKeyExW(root, path.c_str(), 0, access | view, &k);
    if (rc == ERROR_SUCCESS) key_.Reset(k);
    return rc;
}

LONG RegKey::Create(HKEY root, const std::wstring& path, REGSAM access, REGSAM view) {
    Close();
    HKEY k = nullptr;
    LONG rc = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access | view, nullptr, &k,
                                nullptr);
    if (rc == ERROR_SUCCESS) key_.Reset(k);
    return rc;
}

bool RegKeyExists(HKEY root, const std::wstring& path, REGSAM view) {
    RegKey k;
    return k.Open(root, path, KEY_QUERY_VALUE, view) == ERROR_SUCCESS;
}

bool RegReadString(HKEY root, const std::wstring& path, const std::wstring& name, std::wstring* out, REGSAM view) {
    if (!out) return false;
    RegKey k;
    if (k.Open(root, path, KEY_QUERY_VALUE, view) != ERROR_SUCCESS) return false;
    for (int attempt = 0; attempt < 4; ++attempt) {  // the value may grow between the two calls
        DWORD type = 0, bytes = 0;
        if (::RegQueryValueExW(k.Get(), name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return false;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
        std::vector<wchar_t> buf(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
        LONG rc = ::RegQueryValueExW(k.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) return false;
        // Stored strings need not be terminated; stop at the first NUL within the data.
        size_t chars = size / sizeof(wchar_t);
        std::wstring s(buf.data(), chars);
        size_t nul = s.find(L'\0');
        if (nul != std::wstring::npos) s.resize(nul);
        *out = std::move(s);
        return true;
    }
    return false;
}

bool RegReadDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD* out, REGSAM view) {
    if (!out) return false;
    RegKey k;
    if (k.Open(root, path, KEY_QUERY_VALUE, view) != ERROR_SUCCESS) return false;
    DWORD type = 0, value = 0, size = sizeof(value);
    if (::RegQueryValueExW(k.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        return false;
    *out = value;
    return true;
}

bool RegWriteString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& value,
                    REGSAM view) {
    RegKey k;
    if (k.Create(root, path, KEY_SET_VALUE, view) != ERROR_SUCCESS) return false;
    return ::RegSetValueExW(k.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool RegWriteDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value, REGSAM view) {
    RegKey k;
    if (k.Create(root, path, KEY_SET_VALUE, view) != ERROR_SUCCESS) return false;
    return ::RegSetValueExW(k.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof(value)) == ERROR_SUCCESS;
}

bool RegDeleteTreeAt(HKEY root, const std::wstring& path, REGSAM view) {
    if (path.empty()) return false;  // never the whole root
    size_t slash = path.find_last_of(L'\\');
    std::wstring parentPath = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    std::wstring leaf = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (leaf.empty()) return false;
    RegKey parent;
    LONG rc = parent.Open(root, parentPath, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE, view);
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    rc = ::RegDeleteTreeW(parent.Get(), leaf.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace test
}  // namespace orv
