#include <algorithm>
#include <cstring>

#include "core/buffer.h"
#include "platform/codepage/codepage.h"
#include "platform/platform.h"
#include "services/operations.h"
#include "services/service_handles.h"

namespace kx::services {

// The dependency buffer is 255 characters. A first name of more than 254 characters is cut
// there, so that the answer keeps its length and the buffer is never written past its end.
String getservicedependencies(Platform& platform, const String& sService)
{
    ServiceManager& manager = platform.services;
    const OpenService opened(platform, sService);
    if (!opened)
        return L"-1";
    ServiceStatus status{};
    if (!manager.query_service_status(opened.service(), status)) {
        show_error(platform, manager.last_error());
        return String();
    }

    // The first query, into one byte, learns the length; any failure but a short buffer is shown.
    uint8_t one_byte = 0;
    uint32_t needed = 0;
    if (!manager.query_service_config(opened.service(), &one_byte, 0, needed) &&
        manager.last_error() != kInsufficientBuffer)
        show_error(platform, manager.last_error());
    Buffer config(needed);
    if (!manager.query_service_config(opened.service(), config.data(), needed, needed)) {
        show_error(platform, manager.last_error());
        return String();
    }

    ServiceConfigHead head{};
    std::memcpy(&head, config.data(), std::min(sizeof head, config.size()));
    // The list's first name and its NUL; the blanks after them stay.
    std::string dependency(255, ' ');
    const char* first = head.dependencies;
    const void* end = config.end();
    if (!config.holds(first)) {  // no list at all reads as an empty one
        first = "";
        end = first + 1;
    }
    copy_text(dependency.data(), dependency.size(), first, end);
    return platform.ansi.from_ansi(dependency);
}

}  // namespace kx::services
