#include "web/sites.h"

#include "core/convert.h"
#include "core/failure.h"

#include <vector>

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
    // One walk notes the numbers in use. It reads what a walk per candidate would read
    // first, in the same order, so it fails where that would: a name that is no number
    // fails as it would against candidate 1.
    std::vector<bool> taken(INT16_MAX + 1, false);
    for_each_site(directory, service, [&](directory::Object& site) {
        const double number = to_double(site.name());
        if (number >= 1 && number <= INT16_MAX && number == static_cast<int16_t>(number))
            taken[static_cast<std::size_t>(number)] = true;
    });
    // The candidates count as a 16-bit counter: past 32767 is an overflow.
    for (Counter16 candidate(1);; ++candidate)
        if (!taken[static_cast<std::size_t>(candidate.value())])
            return candidate.value();
}

String first_binding(directory::Object& site, const wchar_t* property)
{
    return to_text(element(site.property(property), 0));
}

}  // namespace kx::web
