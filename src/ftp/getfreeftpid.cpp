#include "ftp/operations.h"
#include "platform/platform.h"
#include "web/sites.h"

namespace kx::ftp {

int32_t getfreeftpid(Platform& platform) { return web::lowest_free_number(platform.directory, web::kFtpService); }

}  // namespace kx::ftp
