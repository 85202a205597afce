#include "web/operations.h"

#include "core/failure.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"

namespace kx::web {

int32_t startwebsite(Platform& platform, const String& szWEBID)
{
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(2);
        auto site = platform.directory.bind(L"IIS://LocalHost/W3SVC/" + szWEBID);
        site->call(L"Start");
        return 0;
    });
}

}  // namespace kx::web
