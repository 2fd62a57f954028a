// The single-instance mutex.
#include "appinstance.h"

#include <cwchar>

#include "utility/trace.h"

#define ORV_TRACE_SOURCE L"appinstance"

namespace orv {

bool BuildMutexName(const std::wstring& name, int32_t appId, std::wstring& finalName) {
    std::wstring result = name;
    if (appId != 0) result += std::to_wstring(appId);
    if (result.size() > kMutexNameUnits - 1) return false;
    finalName = result;
    return true;
}

InstanceCheck CreateAppInstance(const std::wstring& name, int32_t appId, UniqueHandle& ownMutex) {
    std::wstring finalName;
    if (!BuildMutexName(name, appId, finalName)) {
        TraceLine(L"mutex name too long: %d units, at most %d\r\n",
                  static_cast<int>(name.size() + (appId ? std::to_wstring(appId).size() : 0)),
                  static_cast<int>(kMutexNameUnits - 1));
        return InstanceCheck::kBadName;
    }
    TraceLine(L" szObjectName = %ls ", finalName.c_str());

    // Null DACL: every user may open the mutex. Without the descriptor the mutex gets default security,
    // which still guards this user's installs.
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, TRUE};
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) {
        ORV_FAILURE_TRAILER(L"InitializeSecurityDescriptor failed.", ::GetLastError());
        attributes.lpSecurityDescriptor = nullptr;
    } else if (!::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
        ORV_FAILURE_TRAILER(L"SetSecurityDescriptorDacl failed.", ::GetLastError());
        attributes.lpSecurityDescriptor = nullptr;
    }

    UniqueHandle mutex(::CreateMutexW(&attributes, FALSE, finalName.c_str()));
    const DWORD error = ::GetLastError();
    if (!mutex) {
        // The run goes on without the single-instance guard, as it always has; the trace says why.
        ORV_FAILURE_TRAILER(L"CreateMutexW failed.", error);
        return InstanceCheck::kFirst;
    }
    if (error != ERROR_ALREADY_EXISTS) {
        ownMutex = std::move(mutex);
        return InstanceCheck::kFirst;
    }
    if (HWND first = ::FindWindowW(kDialogClassName, nullptr)) ::SwitchToThisWindow(first, TRUE);
    return InstanceCheck::kAlreadyRunning;
}

}  // namespace orv
