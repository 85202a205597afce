// Opening a service as both service operations do: the manager, then the service for reading.
// Both handles are closed when the call ends, the service's first, also when they are 0.
#pragma once

#include <string>

#include "core/value.h"
#include "platform/services/services.h"

namespace kx {
struct Platform;
}

namespace kx::services {

class OpenService
{
public:
    // A manager that cannot be opened is shown ("Error - " and the error number); the
    // service is then opened through a handle of 0, which fails.
    OpenService(Platform& platform, const String& name);
    OpenService(const OpenService&) = delete;
    OpenService& operator=(const OpenService&) = delete;
    ~OpenService();

    Handle service() const { return service_; }
    explicit operator bool() const { return service_ != 0; }

private:
    ServiceManager& manager_port_;
    Handle manager_ = 0;
    Handle service_ = 0;
};

// "Error - " and the platform's error number, in a message box.
void show_error(Platform& platform, uint32_t error);

}  // namespace kx::services
