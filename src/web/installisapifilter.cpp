#include "core/convert.h"
#include "core/failure.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"
#include "web/operations.h"

namespace kx::web {
namespace {

constexpr int32_t kPropertyNotFound = static_cast<int32_t>(0x8000500D);

// The load order as a string; a container that has none yet reads as empty.
String load_order(directory::Object& filters)
{
    try {
        return to_text(filters.property(L"FilterLoadOrder"));
    } catch (const Failure& failure) {
        if (failure.status() != kPropertyNotFound)
            throw;
        return String();
    }
}

}  // namespace

int32_t installisapifilter(Platform& platform, const String& sWebSiteID, const String& sFilterName,
                           const String& sFilterPath, const String& sFilterDesc)
{
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(1);
        auto site = platform.directory.bind(L"IIS://LocalHost/W3SVC/" + sWebSiteID);
        bool has_filters = false;
        directory::for_each_child(*site, [&](directory::Object& child) {
            if (child.class_name() == L"IIsFilters")
                has_filters = true;
        });
        if (!has_filters) {
            auto created = site->create(L"IIsFilters", L"Filters");
            created->set_property(L"FilterLoadOrder", String());
            created->set_info();
        }

        auto filters = platform.directory.bind(L"IIS://LocalHost/W3SVC/" + sWebSiteID + L"/Filters");
        String order = load_order(*filters);
        if (!order.empty())
            order += L",";
        order += sFilterName;
        filters->set_property(L"FilterLoadOrder", order);
        filters->set_info();

        auto filter = filters->create(L"IIsFilter", sFilterName);
        filter->set_property(L"FilterPath", sFilterPath);
        filter->set_property(L"FilterDescription", sFilterDesc);
        filter->set_property(L"NotifyOrderHigh", int16_t(1));
        filter->set_property(L"FilterState", int16_t(1));
        filter->set_info();
        return 0;
    });
}

}  // namespace kx::web
