#include "web/getfreewebid.h"

#include "core/convert.h"
#include "core/failure.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"
#include "web/sites.h"

namespace kx::web {

int32_t getfreewebid(Platform& platform)
{
    auto service = platform.directory.bind(L"IIS://LocalHost/W3SVC");
    for (Counter16 candidate(1);; ++candidate) {
        bool taken = false;
        directory::for_each_child(*service, [&](directory::Object& child) {
            if (child.class_name() == kWebServerClass && to_double(child.name()) == candidate.value())
                taken = true;
        });
        if (!taken)
            return candidate.value();
    }
}

}  // namespace kx::web
