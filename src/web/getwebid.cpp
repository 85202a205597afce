#include "web/operations.h"
#include "web/sites.h"

#include "platform/platform.h"

namespace kx::web {

int32_t getwebid(Platform& platform, const String& description)
{
    return site_number(platform.directory, kWebService, description);
}

}  // namespace kx::web
