#include "web/operations.h"
#include "web/sites.h"

#include "platform/platform.h"

namespace kx::web {

// Despite its name, the site's number: the same lookup as getwebid.
int32_t getwebpath(Platform& platform, const String& description)
{
    return site_number(platform.directory, kWebService, description);
}

}  // namespace kx::web
