#include "web/getwebpath.h"

#include "platform/platform.h"
#include "web/sites.h"

namespace kx::web {

// Despite its name, the site's number: the same lookup as getwebid.
int32_t getwebpath(Platform& platform, const String& description)
{
    return site_number(platform.directory, description);
}

}  // namespace kx::web
