#include "web/operations.h"
#include "web/sites.h"

#include "core/convert.h"
#include "core/failure.h"
#include "platform/platform.h"

namespace kx::web {

StringArray getwebsitelist(Platform& platform)
{
    StringArray list;
    Counter16 k(1);
    for_each_site(platform.directory, kWebService, [&](directory::Object& site) {
        if (!list)
            list.emplace();
        list->resize(static_cast<std::size_t>(k.value()) + 1);
        (*list)[k.value()] = to_text(site.property(L"ServerComment"));
        ++k;
    });
    return list;
}

}  // namespace kx::web
