#include "ftp/operations.h"
#include "platform/platform.h"
#include "web/sites.h"

namespace kx::ftp {

String getftpport(Platform& platform, const String& FTPSiteName)
{
    return web::site_binding(platform.directory, web::kFtpService, FTPSiteName);
}

}  // namespace kx::ftp
