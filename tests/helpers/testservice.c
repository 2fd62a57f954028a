/* A service for the tests: testservice.exe [never]. It runs until it is told to stop; "never" stays in
   the start-pending state for ever instead, reporting no progress. */
#include <windows.h>

static SERVICE_STATUS_HANDLE statusHandle;
static SERVICE_STATUS status;
static HANDLE stopEvent;
static BOOL never;

static void Report(DWORD state, DWORD waitHint) {
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWaitHint = waitHint;
    SetServiceStatus(statusHandle, &status);
}

static DWORD WINAPI Handler(DWORD control, DWORD type, LPVOID data, LPVOID context) {
    (void)type;
    (void)data;
    (void)context;
    if (control == SERVICE_CONTROL_STOP && !never) {
        Report(SERVICE_STOP_PENDING, 1000);
        SetEvent(stopEvent);
        return NO_ERROR;
    }
    return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

static void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
    (void)argc;
    (void)argv;
    statusHandle = RegisterServiceCtrlHandlerExW(L"", Handler, NULL);
    if (!statusHandle) return;
    if (never) {
        Report(SERVICE_START_PENDING, 100);
        for (;;) Sleep(1000);
    }
    Report(SERVICE_RUNNING, 0);
    WaitForSingleObject(stopEvent, INFINITE);
    Report(SERVICE_STOPPED, 0);
}

int wmain(int argc, wchar_t** argv) {
    SERVICE_TABLE_ENTRYW table[] = {{(LPWSTR)L"", ServiceMain}, {NULL, NULL}};
    never = argc > 1 && lstrcmpW(argv[1], L"never") == 0;
    stopEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
