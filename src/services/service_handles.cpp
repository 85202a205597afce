#include "services/service_handles.h"

#include "platform/codepage/codepage.h"
#include "platform/platform.h"
#include "platform/ui/ui.h"

namespace kx::services {

OpenService::OpenService(Platform& platform, const String& name) : manager_port_(platform.services)
{
    manager_ = manager_port_.open_sc_manager(nullptr, nullptr, kManagerConnect);
    if (!manager_)
        show_error(platform, manager_port_.last_error());
    service_ = manager_port_.open_service(manager_, platform.ansi.to_ansi(name).c_str(), kGenericRead);
}

OpenService::~OpenService()
{
    manager_port_.close_service_handle(service_);
    manager_port_.close_service_handle(manager_);
}

void show_error(Platform& platform, uint32_t error) { platform.ui.message_box(L"Error - " + std::to_wstring(error)); }

}  // namespace kx::services
