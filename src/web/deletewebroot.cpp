#include "web/operations.h"
#include "web/sites.h"

#include "core/failure.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"

namespace kx::web {

int32_t deletewebroot(Platform& platform, const String& szWEBID)
{
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(2);
        auto service = platform.directory.bind(L"IIS://LocalHost/W3SVC");
        service->remove(kWebServerClass, szWEBID);
        return 0;
    });
}

}  // namespace kx::web
