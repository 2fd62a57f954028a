// Descriptors from SDDL and the process's own token.
#include "utility/securitydescriptor.h"

#include <sddl.h>

#include <vector>

namespace orv {
namespace {

// One class of information from this process's token, or false.
bool QueryToken(TOKEN_INFORMATION_CLASS what, std::vector<BYTE>* data) {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), what, nullptr, 0, &size);
    if (size == 0) return false;
    data->resize(size);
    return ::GetTokenInformation(token.Get(), what, data->data(), size, &size) != FALSE;
}

}  // namespace

bool ProcessIsElevated() {
    std::vector<BYTE> data;
    if (!QueryToken(TokenElevation, &data) || data.size() < sizeof(TOKEN_ELEVATION)) return false;
    return reinterpret_cast<const TOKEN_ELEVATION*>(data.data())->TokenIsElevated != 0;
}

std::wstring CurrentUserSid() {
    std::vector<BYTE> data;
    if (!QueryToken(TokenUser, &data) || data.size() < sizeof(TOKEN_USER)) return std::wstring();
    UniqueLocalMemory text;
    if (!::ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(data.data())->User.Sid,
                                  reinterpret_cast<LPWSTR*>(text.Put())))
        return std::wstring();
    return static_cast<const wchar_t*>(text.Get());
}

std::wstring PrivateFolderSddl(bool elevated, const std::wstring& userSid) {
    if (elevated) return L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    if (userSid.empty()) return std::wstring();
    return L"O:" + userSid + L"D:P(A;OICI;FA;;;" + userSid + L")";
}

std::wstring PrivateFolderSddl() {
    const bool elevated = ProcessIsElevated();
    return PrivateFolderSddl(elevated, elevated ? std::wstring() : CurrentUserSid());
}

std::wstring UsersReadAndRunAce() { return L"(A;OICI;0x1200a9;;;BU)"; }

std::wstring ProgramFolderSddl() { return L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)" + UsersReadAndRunAce(); }

bool SecurityDescriptor::FromSddl(const std::wstring& sddl) {
    return ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
               sddl.c_str(), SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(memory_.Put()), nullptr) !=
           FALSE;
}

PACL SecurityDescriptor::Dacl() const {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!Get() || !::GetSecurityDescriptorDacl(Get(), &present, &dacl, &defaulted) || !present) return nullptr;
    return dacl;
}

bool CreateFolderWithSddl(const std::wstring& path, const std::wstring& sddl) {
    if (sddl.empty()) {  // no descriptor at all would leave the folder to whatever it inherits
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    SecurityDescriptor descriptor;
    if (!descriptor.FromSddl(sddl)) return false;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.Get(), FALSE};
    return ::CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

}  // namespace orv
