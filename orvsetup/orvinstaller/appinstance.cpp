// The single-instance mutex.
#include "appinstance.h"

#include <cwchar>

#include "orvscriptengine/scripttrace.h"

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
    TraceLine(L" szObjectName = %s ", finalName.c_str());

    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);  // null DACL: every user may open it
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, TRUE};

    UniqueHandle mutex(::CreateMutexW(&attributes, FALSE, finalName.c_str()));
    const DWORD error = ::GetLastError();
    if (!mutex || error != ERROR_ALREADY_EXISTS) {
        ownMutex = std::move(mutex);
        return InstanceCheck::kFirst;
    }
    if (HWND first = ::FindWindowW(kDialogClassName, nullptr)) ::SwitchToThisWindow(first, TRUE);
    return InstanceCheck::kAlreadyRunning;
}

}  // namespace orv
