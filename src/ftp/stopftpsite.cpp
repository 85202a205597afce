#include "core/failure.h"
#include "ftp/operations.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"

namespace kx::ftp {

int32_t stopftpsite(Platform& platform, const String& szFTPID)
{
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(1);
        auto site = platform.directory.bind(L"IIS://LocalHost/MSFTPSVC/" + szFTPID);
        stages.arm(2);
        site->call(L"Stop");
        return 0;
    });
}

}  // namespace kx::ftp
