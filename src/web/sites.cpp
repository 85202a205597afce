#include "web/sites.h"

#include "core/convert.h"
#include "core/failure.h"

namespace kx::web {

bool described_as(directory::Object& site, const String& description)
{
    return to_text(site.property(L"ServerComment")) == description;
}

int32_t site_number(directory::Directory& directory, const Service& service, const String& description)
{
    int32_t number = 0;
    for_each_site(directory, service, [&](directory::Object& site) {
        if (described_as(site, description))
            number = to_long(site.name());
    });
    return number;
}

String site_binding(directory::Directory& directory, const Service& service, const String& description)
{
    String result = L"Not Found";
    for_each_site(directory, service, [&](directory::Object& site) {
        if (described_as(site, description))
            result = first_binding(site, L"ServerBindings");
    });
    return result;
}

int32_t lowest_free_number(directory::Directory& directory, const Service& service)
{
    auto node = directory.bind(service.path);
    for (Counter16 candidate(1);; ++candidate) {
        bool taken = false;
        directory::for_each_child(*node, [&](directory::Object& child) {
            if (child.class_name() == service.site_class && to_double(child.name()) == candidate.value())
                taken = true;
        });
        if (!taken)
            return candidate.value();
    }
}

String first_binding(directory::Object& site, const wchar_t* property)
{
    return to_text(element(site.property(property), 0));
}

}  // namespace kx::web
