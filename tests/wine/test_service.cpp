// A service program of the tests' own: reports running when started, stopped when stopped.
#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE status_handle = nullptr;
HANDLE stopping = nullptr;

void report(DWORD state)
{
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, state, SERVICE_ACCEPT_STOP, NO_ERROR, 0, 0, 0};
    SetServiceStatus(status_handle, &status);
}

void WINAPI control(DWORD code)
{
    if (code == SERVICE_CONTROL_STOP) {
        report(SERVICE_STOP_PENDING);
        SetEvent(stopping);
    }
}

void WINAPI service_main(DWORD, LPWSTR*)
{
    status_handle = RegisterServiceCtrlHandlerW(L"", control);
    report(SERVICE_RUNNING);
    WaitForSingleObject(stopping, INFINITE);
    report(SERVICE_STOPPED);
}

}  // namespace

int wmain()
{
    stopping = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(L""), service_main}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
