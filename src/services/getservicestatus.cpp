#include "platform/platform.h"
#include "services/operations.h"
#include "services/service_handles.h"

namespace kx::services {

int32_t getservicestatus(Platform& platform, const String& sService)
{
    const OpenService opened(platform, sService);
    if (!opened)
        return -1;  // silently: no such service, or no right to read it
    ServiceStatus status{};
    if (!platform.services.query_service_status(opened.service(), status)) {
        show_error(platform, platform.services.last_error());
        return 0;
    }
    return static_cast<int32_t>(status.current_state);  // any state the manager reports, unchanged
}

}  // namespace kx::services
