#include "web/getwebid.h"

#include "platform/platform.h"
#include "web/sites.h"

namespace kx::web {

int32_t getwebid(Platform& platform, const String& description) { return site_number(platform.directory, description); }

}  // namespace kx::web
