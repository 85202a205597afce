#include "web/operations.h"
#include "web/sites.h"

#include "platform/platform.h"

namespace kx::web {

String getwebport(Platform& platform, const String& description)
{
    return site_binding(platform.directory, kWebService, description);
}

}  // namespace kx::web
