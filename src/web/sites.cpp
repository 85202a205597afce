#include "web/sites.h"

#include "core/convert.h"

namespace kx::web {

bool described_as(directory::Object& site, const String& description)
{
    return to_text(site.property(L"ServerComment")) == description;
}

int32_t site_number(directory::Directory& directory, const String& description)
{
    int32_t number = 0;
    for_each_site(directory, L"IIS://LocalHost/W3SVC", [&](directory::Object& site) {
        if (described_as(site, description))
            number = to_long(site.name());
    });
    return number;
}

String first_binding(directory::Object& site, const wchar_t* property)
{
    return to_text(element(site.property(property), 0));
}

}  // namespace kx::web
