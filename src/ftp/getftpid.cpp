#include "ftp/operations.h"
#include "platform/platform.h"
#include "web/sites.h"

namespace kx::ftp {

int32_t getftpid(Platform& platform, const String& FTPSiteName)
{
    return web::site_number(platform.directory, web::kFtpService, FTPSiteName);
}

}  // namespace kx::ftp
