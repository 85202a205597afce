#include <memory>
#include <vector>

#include "core/convert.h"
#include "core/failure.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"
#include "web/operations.h"

namespace kx::web {

// Always site 1's filters, whatever the site number given.
int32_t uninstallisapifilter(Platform& platform, const String&, const String&, const String&,
                             const String& sFilterDesc)
{
    const String container = L"IIS://LocalHost/W3SVC/1/Filters";
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(1);
        auto filters = platform.directory.bind(container);
        // The walk takes every child before it deletes any: an enumerator that reads by index,
        // as the configuration store's does, would skip the child after each one deleted under
        // it, and that filter would silently drop out of the load order.
        std::vector<std::unique_ptr<directory::Object>> children;
        auto walk = filters->children();
        while (auto child = walk->next())
            children.push_back(std::move(child));
        String order;
        Counter16 kept(0);
        for (const auto& child : children) {
            if (child->class_name() != L"IIsFilter")
                continue;
            if (to_text(child->property(L"FilterDescription")) == sFilterDesc) {
                filters->remove(L"IIsFilter", child->name());
                continue;
            }
            if (kept.value() > 0)
                order += L",";
            order += child->name();
            ++kept;
        }
        auto again = platform.directory.bind(container);
        again->set_property(L"FilterLoadOrder", order);
        again->set_info();
        return 0;
    });
}

}  // namespace kx::web
