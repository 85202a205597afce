#include "web/operations.h"
#include "web/sites.h"

#include "core/failure.h"
#include "platform/platform.h"

namespace kx::web {

String getwebportsecure(Platform& platform, const String& description)
{
    Stages<String> stages;
    return stages.run([&] {
        String result = L"Not Found";
        for_each_site(platform.directory, kWebService, [&](directory::Object& site) {
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
