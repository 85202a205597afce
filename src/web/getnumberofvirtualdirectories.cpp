#include "core/failure.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"
#include "web/operations.h"

namespace kx::web {

int32_t getnumberofvirtualdirectories(Platform& platform, const String& szWEBID)
{
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(-1);
        auto root = platform.directory.bind(L"IIS://LocalHost/W3SVC/" + szWEBID + L"/Root");
        Counter16 count(0);
        directory::for_each_child(*root, [&](directory::Object& child) {
            if (child.class_name() == L"IIsWebVirtualDir")
                ++count;
        });
        return int32_t(count.value());
    });
}

}  // namespace kx::web
