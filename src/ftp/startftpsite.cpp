#include "core/failure.h"
#include "ftp/operations.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"

namespace kx::ftp {

int32_t startftpsite(Platform& platform, const String& szFTPID)
{
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(2);
        auto site = platform.directory.bind(L"IIS://LocalHost/MSFTPSVC/" + szFTPID);
        site->call(L"Start");
        return 0;
    });
}

}  // namespace kx::ftp
