#include "platform/services/services_win32.h"

#include <windows.h>

#include "platform/win32/limits.h"

namespace kx::services {
namespace {

SC_HANDLE handle_of(Handle h) { return reinterpret_cast<SC_HANDLE>(h); }
Handle number_of(SC_HANDLE h) { return reinterpret_cast<Handle>(h); }

}  // namespace

Handle Win32ServiceManager::open_sc_manager(const char* machine, const char* database, uint32_t access)
{
    const Handle h = number_of(OpenSCManagerA(machine, database, access));
    last_error_ = GetLastError();
    return h;
}

Handle Win32ServiceManager::open_service(Handle manager, const char* name, uint32_t access)
{
    const Handle h = win32::longer_than(name, win32::kServiceNameLimit, ERROR_INVALID_NAME)
                         ? 0
                         : number_of(OpenServiceA(handle_of(manager), name, access));
    last_error_ = GetLastError();
    return h;
}

bool Win32ServiceManager::query_service_status(Handle service, ServiceStatus& status)
{
    SERVICE_STATUS record{};
    const bool ok = QueryServiceStatus(handle_of(service), &record) != 0;
    last_error_ = GetLastError();
    status = ServiceStatus{record.dwServiceType, record.dwCurrentState, record.dwControlsAccepted,
                           record.dwWin32ExitCode, record.dwServiceSpecificExitCode, record.dwCheckPoint,
                           record.dwWaitHint};
    return ok;
}

bool Win32ServiceManager::query_service_config(Handle service, void* buffer, uint32_t length, uint32_t& needed)
{
    DWORD need = 0;
    const bool ok = QueryServiceConfigA(handle_of(service), static_cast<QUERY_SERVICE_CONFIGA*>(buffer), length, &need) != 0;
    last_error_ = GetLastError();
    needed = need;
    return ok;
}

bool Win32ServiceManager::close_service_handle(Handle handle)
{
    const bool ok = CloseServiceHandle(handle_of(handle)) != 0;
    last_error_ = GetLastError();
    return ok;
}

}  // namespace kx::services
