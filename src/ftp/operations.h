// The FTP server operations: site lookup, numbering and lifecycle.
#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::ftp {

// The lowest positive FTP site number that no FTP site uses.
int32_t getfreeftpid(Platform& platform);
// The number of the FTP site with that description (the one enumerated last), or 0.
int32_t getftpid(Platform& platform, const String& FTPSiteName);
// The first binding string of the FTP site with that description, or "Not Found".
String getftpport(Platform& platform, const String& FTPSiteName);

// Creates an FTP site with its write-only root directory: 0, or the failed stage 1 to 4.
// Port becomes the site's binding string, ":" + Port + ":".
int32_t createftpsite(Platform& platform, const String& sFTPID, const String& SiteName, String& Port,
                      const String& Path);
// 0 done, 2 failed.
int32_t deleteftpsite(Platform& platform, const String& szFTPID);
// 0 done, 2 failed.
int32_t startftpsite(Platform& platform, const String& szFTPID);
// 0 done, 1 the site cannot be bound, 2 it does not stop.
int32_t stopftpsite(Platform& platform, const String& szFTPID);

}  // namespace kx::ftp
