// A small Windows service for the tools' tests. Start, stop, pause and
// continue each pass through their pending state for the time given as the
// first argument of the service's command line (ms), long enough for a
// 500 ms poll to see it.
#include <windows.h>
#include <cwchar>
#include <cstdlib>

namespace {
SERVICE_STATUS_HANDLE statusHandle;
SERVICE_STATUS status;
CRITICAL_SECTION lock;
HANDLE stopEvent;
HANDLE workEvent;
DWORD pendingMs = 1500;
DWORD wanted;  // the state a control asked for, reached by the worker

void Report(DWORD state) {
    EnterCriticalSection(&lock);
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING || state == SERVICE_PAUSE_PENDING ||
                   state == SERVICE_CONTINUE_PENDING;
    status.dwControlsAccepted =
        (state == SERVICE_RUNNING || state == SERVICE_PAUSED) ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE : 0;
    status.dwWin32ExitCode = NO_ERROR;
    status.dwCheckPoint = pending ? status.dwCheckPoint + 1 : 0;
    status.dwWaitHint = pending ? pendingMs + 1000 : 0;
    SetServiceStatus(statusHandle, &status);
    LeaveCriticalSection(&lock);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
        Report(SERVICE_STOP_PENDING);
        SetEvent(stopEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_PAUSE:
        Report(SERVICE_PAUSE_PENDING);
        wanted = SERVICE_PAUSED;
        SetEvent(workEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE:
        Report(SERVICE_CONTINUE_PENDING);
        wanted = SERVICE_RUNNING;
        SetEvent(workEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
    default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
    statusHandle = RegisterServiceCtrlHandlerExW(argc > 0 ? argv[0] : L"", Handler, nullptr);
    if (!statusHandle) return;
    Report(SERVICE_START_PENDING);
    Sleep(pendingMs);
    Report(SERVICE_RUNNING);
    HANDLE events[2] = {stopEvent, workEvent};
    for (;;) {
        DWORD which = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (which != WAIT_OBJECT_0 + 1) break;
        Sleep(pendingMs);
        Report(wanted);
    }
    Sleep(pendingMs);
    Report(SERVICE_STOPPED);
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1) pendingMs = (DWORD)wcstoul(argv[1], nullptr, 10);
    InitializeCriticalSection(&lock);
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    workEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    wchar_t noName[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{noName, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
