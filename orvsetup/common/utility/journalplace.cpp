// The journal's folders and the HKLM value that finds them.
#include "utility/journalplace.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cwctype>

#include "utility/securitydescriptor.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace {

constexpr wchar_t kPointerKey[] = L"SOFTWARE\\ORVInstaller\\Journal";
constexpr wchar_t kPrefix[] = L"\\\\?\\";

std::wstring Number(uint32_t value) { return std::to_wstring(value); }

std::wstring CommonAppData() {
    wchar_t path[MAX_PATH] = L"";
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return L"";
    return path;
}

// "\\?\C:\" for "\\?\C:\a\b"; empty when the volume cannot be told.
std::wstring VolumeRoot(const std::wstring& path) {
    const std::wstring plain = path.compare(0, 4, kPrefix) == 0 ? path.substr(4) : path;
    wchar_t root[MAX_PATH] = L"";
    if (plain.compare(0, 4, L"UNC\\") == 0) {
        if (!::GetVolumePathNameW((L"\\\\" + plain.substr(4)).c_str(), root, MAX_PATH)) return L"";
        return std::wstring(kPrefix) + L"UNC" + std::wstring(root + 1);
    }
    if (!::GetVolumePathNameW(plain.c_str(), root, MAX_PATH)) return L"";
    return LongPath(root);
}

bool SameText(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

// Wine does not keep the owner a folder is created with: every file is its user's, and that user is the
// administrator there.
bool OwnersAreKept() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return !ntdll || !::GetProcAddress(ntdll, "wine_get_version");
}

// The owner of the folder open as `folder` is one this process trusts.
bool OwnerTrusted(HANDLE folder) {
    PSID owner = nullptr;
    UniqueLocalMemory descriptor;
    if (::GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Put())) != ERROR_SUCCESS ||
        !owner)
        return false;
    if (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(owner, WinLocalSystemSid)) return true;
    if (ProcessIsElevated() && OwnersAreKept()) return false;
    UniqueLocalMemory text;
    if (!::ConvertSidToStringSidW(owner, reinterpret_cast<LPWSTR*>(text.Put()))) return false;
    return CurrentUserSid() == static_cast<const wchar_t*>(text.Get());
}

// The private rights, set on the open folder, not inherited from above.
bool SetPrivateRights(HANDLE folder) {
    SecurityDescriptor descriptor;
    if (!descriptor.FromSddl(PrivateFolderSddl()) || !descriptor.Dacl()) return false;
    return ::SetSecurityInfo(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                             nullptr, nullptr, descriptor.Dacl(), nullptr) == ERROR_SUCCESS;
}

}  // namespace

std::wstring LongPath(const std::wstring& path) {
    if (path.compare(0, 4, kPrefix) == 0) return path;
    if (path.compare(0, 2, L"\\\\") == 0) return std::wstring(kPrefix) + L"UNC" + path.substr(1);
    return kPrefix + path;
}

std::wstring JournalFolder(uint32_t appId) {
    const std::wstring base = CommonAppData();
    if (base.empty()) return L"";
    return LongPath(base + L"\\ORVInstaller Journal " + Number(appId));
}

std::wstring JournalFile(const std::wstring& folder) { return folder + L"\\journal.orvj"; }

std::wstring AsideFolder(uint32_t appId, const std::wstring& path) {
    const std::wstring journal = JournalFolder(appId);
    const std::wstring root = VolumeRoot(path);
    if (journal.empty() || root.empty()) return L"";
    if (SameText(VolumeRoot(journal), root)) return journal + L"\\old";
    return root + L"ORVInstaller old " + Number(appId);
}

bool IsAsidePath(uint32_t appId, const std::wstring& aside) {
    const size_t slash = aside.find_last_of(L'\\');
    if (slash == std::wstring::npos) return false;
    const std::wstring name = aside.substr(slash + 1);
    const size_t dash = name.find(L'-');
    if (dash == 0 || dash == std::wstring::npos || name.size() < dash + 6) return false;
    if (name.compare(name.size() - 4, 4, L".old") != 0) return false;
    for (size_t i = 0; i + 4 < name.size(); ++i)
        if (i != dash && !std::iswdigit(name[i])) return false;
    const std::wstring expected = AsideFolder(appId, aside);
    return !expected.empty() && SameText(expected, aside.substr(0, slash));
}

bool MakeTrustedFolder(const std::wstring& folder) {
    if (!CreateFolderWithSddl(folder, PrivateFolderSddl()) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        TraceLine(L"the journal folder %ls cannot be made, error %lu\r\n", folder.c_str(), ::GetLastError());
        return false;
    }
    UniqueFileHandle handle(::CreateFileW(folder.c_str(), READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    const bool plain = handle && ::GetFileInformationByHandle(handle.Get(), &info) &&
                       (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                       !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!plain || !OwnerTrusted(handle.Get()) || !SetPrivateRights(handle.Get())) {
        TraceLine(L"the journal folder %ls is not safe to use\r\n", folder.c_str());
        return false;
    }
    return true;
}

bool WriteJournalPointer(uint32_t appId, const std::wstring& folder) {
    UniqueHKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPointerKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                          key.Put(), nullptr) != ERROR_SUCCESS)
        return false;
    const DWORD bytes = static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.Get(), Number(appId).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(folder.c_str()), bytes) == ERROR_SUCCESS;
}

std::wstring ReadJournalPointer(uint32_t appId) {
    UniqueHKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPointerKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Put()) !=
        ERROR_SUCCESS)
        return L"";
    wchar_t value[MAX_PATH + 8] = L"";
    DWORD type = 0, bytes = sizeof(value) - sizeof(wchar_t);
    if (::RegQueryValueExW(key.Get(), Number(appId).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return L"";
    value[bytes / sizeof(wchar_t)] = L'\0';
    const std::wstring expected = JournalFolder(appId);
    if (expected.empty() || !SameText(value, expected)) {
        TraceLine(L"the journal value of product %u names another folder: not used\r\n", appId);
        return L"";
    }
    return expected;
}

void DeleteJournalPointer(uint32_t appId) {
    UniqueHKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPointerKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.Put()) ==
        ERROR_SUCCESS)
        ::RegDeleteValueW(key.Get(), Number(appId).c_str());
}

}  // namespace orv
