#include "web/operations.h"
#include "web/sites.h"

#include "platform/platform.h"

namespace kx::web {

int32_t getfreewebid(Platform& platform) { return lowest_free_number(platform.directory, kWebService); }

}  // namespace kx::web
