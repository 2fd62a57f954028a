// The sample product's install folders and its removal, as the end-to-end tests see them.
#include "sampleproduct.h"

#include <shlobj.h>

#include "fsutil.h"
#include "regutil.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace test {

bool IsWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::wstring KnownFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring Expanded(const wchar_t* text) {
    wchar_t path[MAX_PATH] = {};
    ::ExpandEnvironmentStringsW(text, path, MAX_PATH);
    return path;
}

bool Is64BitWindows() { return IsWow64() || sizeof(void*) == 8; }

std::vector<std::wstring> DefaultInstallFolders() {
    return {Expanded(Is64BitWindows() ? L"%ProgramFiles(x86)%\\Quellby" : L"%ProgramFiles%\\Quellby")};
}

std::wstring TracedInstallPath(const SetupResult& r) {
    const std::wstring tag = L"qz InstallPath:";
    for (const std::wstring& line : r.lines)
        if (line.compare(0, tag.size(), tag) == 0) return line.substr(tag.size());
    return L"";
}

void RemoveService(const wchar_t* name) {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueServiceHandle service(manager ? ::OpenServiceW(manager.Get(), name, SERVICE_ALL_ACCESS) : nullptr);
    if (!service) return;
    SERVICE_STATUS status{};
    ::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
    ::DeleteService(service.Get());
}

void RemoveProduct(const std::wstring& folder) {
    RemoveService(L"quellbyss");
    RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kProductKey);
    RegDeleteTreeAt(HKEY_CURRENT_USER, kProductKey);
    RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kUninstallKey);
    RemoveTree(folder);
    RemoveTree(KnownFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + kProductName);
    ::DeleteFileW((KnownFolder(CSIDL_DESKTOPDIRECTORY) + L"\\" + kProductName + L".lnk").c_str());
    RegKey run;
    if (run.Open(HKEY_CURRENT_USER, kRunKey, KEY_SET_VALUE) == ERROR_SUCCESS) ::RegDeleteValueW(run.Get(), L"Quellby");
}

void RemoveProductEverywhere() {
    for (const std::wstring& folder : DefaultInstallFolders()) RemoveProduct(folder);
}

}  // namespace test
}  // namespace orv
