#include "core/failure.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"
#include "web/operations.h"

namespace kx::web {

int32_t deletevirtualdirectory(Platform& platform, const String& szWEBID, const String& sName)
{
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(1);
        auto root = platform.directory.bind(L"IIS://Localhost/W3SVC/" + szWEBID + L"/root");
        stages.arm(2);
        auto directory = platform.directory.bind(L"IIS://LocalHost/W3SVC/" + szWEBID + L"/ROOT/" + sName);
        stages.arm(3);
        directory->call(L"AppDelete");
        root->remove(L"IIsWebVirtualDir", sName);
        return 0;
    });
}

}  // namespace kx::web
