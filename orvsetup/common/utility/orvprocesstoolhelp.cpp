// Process utilities over the toolhelp snapshot, process handles and the token.
#include "utility/orvprocesstoolhelp.h"

#include <tlhelp32.h>

#include <cwchar>

#include "utility/trace.h"

#define ORV_TRACE_SOURCE L"orvprocesstoolhelp"

namespace orv {
namespace {

constexpr DWORD kEndWaitMs = 3000;

BOOL CALLBACK CloseWindowOfProcess(HWND window, LPARAM id) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == static_cast<DWORD>(id)) {
        ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

}  // namespace

ProcessSnapshot::ProcessSnapshot() : snapshot_(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)) {}

std::vector<DWORD> ProcessSnapshot::FindAll(const std::wstring& name) const {
    std::vector<DWORD> ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    if (!Valid() || !::Process32FirstW(snapshot_.Get(), &entry)) return ids;
    do {
        if (entry.th32ProcessID != 0 && _wcsicmp(entry.szExeFile, name.c_str()) == 0) ids.push_back(entry.th32ProcessID);
    } while (::Process32NextW(snapshot_.Get(), &entry));
    return ids;
}

bool DeviceMap::BuildDeviceMap() {
    const DWORD length = ::GetLogicalDriveStringsW(0, nullptr);
    if (length == 0) {
        ORV_FAILURE_TRAILER(L"GetLogicalDriveStrings failed", ::GetLastError());
        return false;
    }
    std::vector<wchar_t> roots(length + 1, L'\0');
    if (::GetLogicalDriveStringsW(length, roots.data()) == 0) {
        ORV_FAILURE_TRAILER(L"GetLogicalDriveStrings failed", ::GetLastError());
        return false;
    }
    for (const wchar_t* root = roots.data(); *root; root += std::wcslen(root) + 1) {
        const std::wstring drive(root, 2);
        wchar_t device[MAX_PATH];
        if (::QueryDosDeviceW(drive.c_str(), device, MAX_PATH)) devices_.emplace(device, drive);
    }
    return true;
}

bool DeviceMap::DevicePathToDosPath(std::wstring& path) {
    if (devices_.empty() && !BuildDeviceMap()) return false;
    size_t third = 0;
    for (int slashes = 0; third != std::wstring::npos && slashes < 3; ++slashes)
        third = path.find(L'\\', slashes == 0 ? 0 : third + 1);
    const std::wstring prefix = path.substr(0, third);
    const auto found = devices_.find(prefix);
    if (found == devices_.end()) return false;  // a path without a drive is no usable path
    path = found->second + path.substr(prefix.size());
    return true;
}

bool EnablePrivilege(const wchar_t* name, bool enable) {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put())) {
        ORV_FAILURE_TRAILER(L"OpenProcessToken failed!", ::GetLastError());
        return false;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
        ORV_FAILURE_TRAILER(L"LookupPrivilegeValue failed!", ::GetLastError());
        return false;
    }
    if (!::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr)) {
        ORV_FAILURE_TRAILER(L"AdjustTokenPrivileges failed!", ::GetLastError());
        return false;
    }
    return true;
}

long FindProcessIdByName(const ProcessSnapshot& snapshot, const std::wstring& name) {
    const std::vector<DWORD> ids = snapshot.FindAll(name);
    return ids.empty() ? -1 : static_cast<long>(ids.front());
}

bool KillProcessById(DWORD id) {
    if (id == 0) return true;
    ::EnumWindows(CloseWindowOfProcess, static_cast<LPARAM>(id));
    EnablePrivilege(SE_DEBUG_NAME, true);
    const UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id));
    if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such process any more
    if (::WaitForSingleObject(process.Get(), kEndWaitMs) != WAIT_OBJECT_0) ::TerminateProcess(process.Get(), 0);
    return ::WaitForSingleObject(process.Get(), kEndWaitMs) == WAIT_OBJECT_0;
}

bool GetImagePathByPid(DWORD id, std::wstring& path) {
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id));
    if (!process) return false;
    wchar_t image[MAX_PATH];
    DWORD length = MAX_PATH;
    if (!::QueryFullProcessImageNameW(process.Get(), PROCESS_NAME_NATIVE, image, &length)) return false;
    path.assign(image, length);
    DeviceMap devices;
    return devices.DevicePathToDosPath(path);
}

}  // namespace orv
