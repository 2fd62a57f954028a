// QuellbySS.exe: the product's search service "quellbyss".
//
//   QuellbySS.exe --install   registers the service (or reconfigures an existing one) to start with Windows
//                             from this program file, and starts it. Exit code 0 when it runs, 1 otherwise.
//   (started by the service manager)  reports running and waits until it is told to stop.
#include <windows.h>

#include "utility/uniquehandle.h"

namespace {

constexpr wchar_t kServiceName[] = L"quellbyss";
constexpr wchar_t kDisplayName[] = L"奎比搜索服务";
constexpr DWORD kStartWaitMs = 15000;

SERVICE_STATUS_HANDLE g_statusHandle;
SERVICE_STATUS g_status;
orv::UniqueHandle g_stopEvent;

void Report(DWORD state) {
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    g_status.dwWin32ExitCode = NO_ERROR;
    g_status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 3000;
    ::SetServiceStatus(g_statusHandle, &g_status);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            Report(SERVICE_STOP_PENDING);
            ::SetEvent(g_stopEvent.Get());
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_statusHandle = ::RegisterServiceCtrlHandlerExW(kServiceName, Handler, nullptr);
    if (!g_statusHandle) return;
    Report(SERVICE_START_PENDING);
    Report(SERVICE_RUNNING);
    ::WaitForSingleObject(g_stopEvent.Get(), INFINITE);
    Report(SERVICE_STOPPED);
}

// This program's full path in quotes, as the service's command line (empty when it does not fit).
void QuotedOwnPath(wchar_t* command, DWORD size) {
    command[0] = L'"';
    const DWORD length = ::GetModuleFileNameW(nullptr, command + 1, size - 3);
    if (length == 0 || length >= size - 3) {
        command[0] = L'\0';
        return;
    }
    command[length + 1] = L'"';
    command[length + 2] = L'\0';
}

// The service, created, or reconfigured when it exists already.
bool Register(SC_HANDLE manager, const wchar_t* command, orv::UniqueServiceHandle* service) {
    *service->Put() = ::CreateServiceW(manager, kServiceName, kDisplayName, SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                       command, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (*service) return true;
    if (::GetLastError() != ERROR_SERVICE_EXISTS) return false;
    *service->Put() = ::OpenServiceW(manager, kServiceName, SERVICE_ALL_ACCESS);
    return *service &&
           ::ChangeServiceConfigW(service->Get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                  SERVICE_ERROR_NORMAL, command, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  kDisplayName);
}

// Starts the service (a running one counts) and waits a bounded time for it to report running.
bool StartAndWait(SC_HANDLE service) {
    if (!::StartServiceW(service, 0, nullptr) && ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) return false;
    for (DWORD waited = 0;; waited += 100) {
        SERVICE_STATUS status = {};
        if (!::QueryServiceStatus(service, &status)) return false;
        if (status.dwCurrentState == SERVICE_RUNNING) return true;
        if (status.dwCurrentState == SERVICE_STOPPED || waited >= kStartWaitMs) return false;
        ::Sleep(100);
    }
}

int Install() {
    wchar_t command[MAX_PATH + 3];
    QuotedOwnPath(command, ARRAYSIZE(command));
    if (!command[0]) return 1;
    const orv::UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return 1;
    orv::UniqueServiceHandle service;
    if (!Register(manager.Get(), command, &service)) return 1;
    return StartAndWait(service.Get()) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && _wcsicmp(argv[1], L"--install") == 0) return Install();
    *g_stopEvent.Put() = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g_stopEvent) return 1;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(kServiceName), ServiceMain}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
