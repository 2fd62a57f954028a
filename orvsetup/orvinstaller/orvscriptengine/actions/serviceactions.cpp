// Services: Lua_SCM starts or stops one and waits, within a bound, for it to get there.
#include "orvscriptengine/actions/actions.h"

#include <windows.h>

#include <cwchar>

#include "orvscriptengine/actionargs.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

#define ORV_TRACE_SOURCE L"serviceactions"

namespace orv {
namespace {

constexpr DWORD kServiceRights = SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS;  // 0x34
constexpr DWORD kMinimumWaitMs = 30000;

bool UnknownError(DWORD error) {
    TraceLine(L"Unknow Error in fun:%ls\r\n", L"Lua_SCM");
    ORV_FAILURE_TRAILER(L"", error);
    return false;
}

// Polls until the service reports `wanted`. The wait is bounded: 30 seconds, renewed (and lengthened to
// the service's own wait hint) whenever the service reports progress.
bool WaitForState(SC_HANDLE service, const std::wstring& name, DWORD wanted) {
    DWORD deadline = ::GetTickCount() + kMinimumWaitMs;
    DWORD checkPoint = 0;
    for (;;) {
        SERVICE_STATUS status;
        if (!::QueryServiceStatus(service, &status)) return UnknownError(::GetLastError());
        if (status.dwCurrentState == wanted) return true;
        if (status.dwCheckPoint != checkPoint) {
            checkPoint = status.dwCheckPoint;
            deadline = ::GetTickCount() + (status.dwWaitHint > kMinimumWaitMs ? status.dwWaitHint : kMinimumWaitMs);
        }
        if (static_cast<LONG>(::GetTickCount() - deadline) >= 0) {
            TraceLine(L"Fun:Lua_SCM, Description:%ls did not reach state %u in time (state %u)\r\n", name.c_str(),
                      static_cast<unsigned>(wanted), static_cast<unsigned>(status.dwCurrentState));
            return false;
        }
        DWORD pause = status.dwWaitHint;
        if (pause < 20) pause = 20;
        if (pause > 1000) pause = 1000;
        ::Sleep(pause);
    }
}

}  // namespace

// Lua_SCM(serviceName, action) -> boolean; action "start" or "stop" (any case). A service that does not
// exist counts as done.
int Lua_SCM(lua_State* L) {
    std::wstring name;
    if (!ArgName(L, 1, name)) return PushFlag(L, false);
    const std::wstring action = ArgText(L, 2);
    const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, GENERIC_EXECUTE));
    if (!manager) {
        ORV_FAILURE_TRAILER(L"OpenSCManager failed!", ::GetLastError());
        return PushFlag(L, false);
    }
    const UniqueServiceHandle service(::OpenServiceW(manager.Get(), name.c_str(), kServiceRights));
    if (!service) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) return PushFlag(L, true);
        ORV_FAILURE_TRAILER(L"OpenService failed!", error);
        return PushFlag(L, false);
    }
    SERVICE_STATUS status;
    if (!::QueryServiceStatus(service.Get(), &status)) {
        ORV_FAILURE_TRAILER(L"QueryServiceStatus failed!", ::GetLastError());
        return PushFlag(L, false);
    }
    if (_wcsicmp(action.c_str(), L"start") == 0) {
        if (status.dwCurrentState == SERVICE_STOPPED && !::StartServiceW(service.Get(), 0, nullptr)) {
            ORV_FAILURE_TRAILER(L"StartService failed!", ::GetLastError());
            return PushFlag(L, false);
        }
        return PushFlag(L, WaitForState(service.Get(), name, SERVICE_RUNNING));
    }
    if (_wcsicmp(action.c_str(), L"stop") == 0) {
        if (status.dwCurrentState == SERVICE_RUNNING && !::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
            ORV_FAILURE_TRAILER(L"StopService failed!", ::GetLastError());
            return PushFlag(L, false);
        }
        return PushFlag(L, WaitForState(service.Get(), name, SERVICE_STOPPED));
    }
    return PushFlag(L, UnknownError(::GetLastError()));
}

}  // namespace orv
