#include "web/getwebportsecure.h"

#include "core/failure.h"
#include "platform/platform.h"
#include "web/sites.h"

namespace kx::web {

String getwebportsecure(Platform& platform, const String& description)
{
    Stages<String> stages;
    return stages.run([&] {
        String result = L"Not Found";
        for_each_site(platform.directory, L"IIS://LocalHost/W3SVC", [&](directory::Object& site) {
            if (!described_as(site, description))
                return;
            if (!stages.armed())
                stages.arm(L"None");
            result = first_binding(site, L"SecureBindings");
        });
        return result;
    });
}

}  // namespace kx::web
