#pragma once

#include "platform/services/services.h"

namespace kx::services {

class Win32ServiceManager final : public ServiceManager
{
public:
    Handle open_sc_manager(const char* machine, const char* database, uint32_t access) override;
    Handle open_service(Handle manager, const char* name, uint32_t access) override;
    bool query_service_status(Handle service, ServiceStatus& status) override;
    bool query_service_config(Handle service, void* buffer, uint32_t length, uint32_t& needed) override;
    bool close_service_handle(Handle handle) override;
    uint32_t last_error() override { return last_error_; }

private:
    uint32_t last_error_ = 0;
};

}  // namespace kx::services
