// The service control manager functions that the service operations call, one method per
// function. Handles are opaque numbers, 0 for none. After every call last_error() tells the
// platform's last-error value as it stood right after that call.
#pragma once

#include <cstdint>

namespace kx::services {

using Handle = uintptr_t;

// SERVICE_STATUS: seven 32-bit fields.
struct ServiceStatus
{
    uint32_t service_type, current_state, controls_accepted, win32_exit_code, service_specific_exit_code,
        check_point, wait_hint;
};

// The head of QUERY_SERVICE_CONFIGA that the platform writes at the start of the buffer: the
// name fields address strings further on in the same buffer.
struct ServiceConfigHead
{
    uint32_t service_type, start_type, error_control;
    const char* binary_path_name;
    const char* load_order_group;
    uint32_t tag_id;
    const char* dependencies;
    const char* service_start_name;
    const char* display_name;
};

// The base class answers every call as a platform without these functions does: it fails
// (error 120, ERROR_CALL_NOT_IMPLEMENTED) and gives nothing.
inline constexpr uint32_t kNotImplemented = 120;

class ServiceManager
{
public:
    virtual ~ServiceManager() = default;
    virtual Handle open_sc_manager(const char* machine, const char* database, uint32_t access) { return 0; }
    virtual Handle open_service(Handle manager, const char* name, uint32_t access) { return 0; }
    virtual bool query_service_status(Handle service, ServiceStatus& status) { return false; }
    virtual bool query_service_config(Handle service, void* buffer, uint32_t length, uint32_t& needed) { return false; }
    virtual bool close_service_handle(Handle handle) { return false; }
    virtual uint32_t last_error() { return kNotImplemented; }
};

inline constexpr uint32_t kManagerConnect = 1;          // SC_MANAGER_CONNECT
inline constexpr uint32_t kGenericRead = 0x80000000u;   // GENERIC_READ
inline constexpr uint32_t kInsufficientBuffer = 122;    // ERROR_INSUFFICIENT_BUFFER

}  // namespace kx::services
