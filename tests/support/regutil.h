// Registry helpers for end-to-end tests. `view` is 0 (the caller's own view), KEY_WOW64_32KEY or KEY_WOW64_64KEY.
#pragma once

#include <windows.h>

#include <string>

#include "utility/uniquehandle.h"

namespace orv {
namespace test {

// Owns an open registry key.
class RegKey {
public:
    RegKey() = default;
    RegKey(RegKey&&) noexcept = default;
    RegKey& operator=(RegKey&&) noexcept = default;

    // Opens an existing key. Returns the Win32 error (ERROR_SUCCESS on success).
    LONG Open(HKEY root, const std::wstring& path, REGSAM access = KEY_READ, REGSAM view = 0);
    // Opens or creates the key.
    LONG Create(HKEY root, const std::wstring& path, REGSAM access = KEY_READ | KEY_WRITE, REGSAM view = 0);
    void Close() { key_.Reset(); }
    HKEY Get() const { return key_.Get(); }
    bool Valid() const { return key_.Valid(); }

private:
    UniqueHKey key_;
};

bool RegKeyExists(HKEY root, const std::wstring& path, REGSAM view = 0);
// True and the data when the value exists: REG_SZ / REG_EXPAND_SZ (not expanded) for strings, REG_DWORD for DWORD.
bool RegReadString(HKEY root, const std::wstring& path, const std::wstring& name, std::wstring* out, REGSAM view = 0);
bool RegReadDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD* out, REGSAM view = 0);
// Creates the key as needed.
bool RegWriteString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& value,
                    REGSAM view = 0);
bool RegWriteDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value, REGSAM view = 0);
// Deletes the key and everything below it. True when the key is gone afterwards (also when it never existed).
bool RegDeleteTreeAt(HKEY root, const std::wstring& path, REGSAM view = 0);

}  // namespace test
}  // namespace orv
