#include "core/convert.h"
#include "core/failure.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"
#include "utilities/operations.h"

namespace kx::utilities {

// Until the first site's ServerBindings has been read, a failure is raised; from then on a
// failing step is skipped: a child whose class cannot be read is passed over, a list that
// cannot be read or has no element adds nothing to compare, and a walk that fails ends.
int32_t checkportinuse(Platform& platform, String& svPort)
{
    svPort = L":" + svPort + L":";
    auto service = platform.directory.bind(L"IIS://LocalHost/W3SVC");
    bool ignoring = false;
    auto step = [&](auto&& body) {  // whether the step succeeded
        if (!ignoring) {
            body();
            return true;
        }
        return !ignoring_failure(body);
    };

    auto walk = service->children();
    for (;;) {
        std::unique_ptr<directory::Object> child;
        if (!step([&] { child = walk->next(); }) || !child)
            return 1;
        String cls;
        if (!step([&] { cls = child->class_name(); }) || cls != L"IIsWebServer")
            continue;
        for (const wchar_t* property : {L"ServerBindings", L"SecureBindings"}) {
            Variant bindings;
            const bool read = step([&] { bindings = child->property(property); });
            ignoring = true;
            String first;
            if (read && step([&] { first = to_text(element(bindings, 0)); }) && first == svPort)
                return 0;
        }
    }
}

}  // namespace kx::utilities
