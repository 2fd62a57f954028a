// Services stopped and deleted, COM servers unregistered, for a recorded outside change.
#include "utility/outsideundo.h"

#include <algorithm>
#include <vector>

#include "utility/libraryload.h"
#include "utility/uniquehandle.h"

namespace orv {

std::wstring ServiceProgram(const std::wstring& commandLine) {
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const size_t close = commandLine.find(L'"', 1);
        return close == std::wstring::npos ? std::wstring() : commandLine.substr(1, close - 1);
    }
    return commandLine.substr(0, commandLine.find(L' '));
}

OutsideUndone DeleteServiceIf(const std::wstring& name,
                              const std::function<bool(const std::wstring& program)>& programAllowed, DWORD* error) {
    auto failed = [error] { return *error = ::GetLastError(), OutsideUndone::kFailed; };
    const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT));
    if (!manager) return failed();
    const UniqueServiceHandle service(::OpenServiceW(manager.Get(), name.c_str(),
                                                     SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_STOP | DELETE));
    if (!service) return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? OutsideUndone::kDone : failed();
    DWORD needed = 0;
    ::QueryServiceConfigW(service.Get(), nullptr, 0, &needed);
    std::vector<BYTE> buffer(std::min<DWORD>(needed, 64 * 1024) + sizeof(QUERY_SERVICE_CONFIGW));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!::QueryServiceConfigW(service.Get(), config, static_cast<DWORD>(buffer.size()), &needed)) return failed();
    if (!programAllowed(ServiceProgram(config->lpBinaryPathName ? config->lpBinaryPathName : L"")))
        return OutsideUndone::kRefused;
    SERVICE_STATUS status = {};
    if (::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status))
        for (int k = 0; k < 50 && ::QueryServiceStatus(service.Get(), &status) && status.dwCurrentState != SERVICE_STOPPED;
             ++k)
            ::Sleep(100);
    if (!::DeleteService(service.Get()) && ::GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) return failed();
    return OutsideUndone::kDone;
}

OutsideUndone UnregisterServerDll(const std::wstring& path, DWORD* error) {
    const UniqueHModule module(LoadLibraryBesideItsImports(path.c_str()));
    if (!module) return *error = ::GetLastError(), OutsideUndone::kFailed;
    using RegisterFn = HRESULT(STDAPICALLTYPE*)();
    auto unregister = reinterpret_cast<RegisterFn>(
        reinterpret_cast<void*>(::GetProcAddress(module.Get(), "DllUnregisterServer")));
    const HRESULT result = unregister ? unregister() : E_NOINTERFACE;
    if (SUCCEEDED(result)) return OutsideUndone::kDone;
    *error = static_cast<DWORD>(result);
    return OutsideUndone::kFailed;
}

}  // namespace orv
