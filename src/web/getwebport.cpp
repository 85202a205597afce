#include "web/getwebport.h"

#include "platform/platform.h"
#include "web/sites.h"

namespace kx::web {

String getwebport(Platform& platform, const String& description)
{
    String result = L"Not Found";
    for_each_site(platform.directory, L"IIS://LocalHost/W3SVC", [&](directory::Object& site) {
        if (described_as(site, description))
            result = first_binding(site, L"ServerBindings");
    });
    return result;
}

}  // namespace kx::web
