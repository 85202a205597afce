#include "core/failure.h"
#include "ftp/operations.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"

namespace kx::ftp {

int32_t deleteftpsite(Platform& platform, const String& szFTPID)
{
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(2);
        auto service = platform.directory.bind(L"IIS://LocalHost/MSFTPSVC");
        service->call(L"DELETE", {Variant(L"IIsFtpServer"), Variant(szFTPID)});
        return 0;
    });
}

}  // namespace kx::ftp
