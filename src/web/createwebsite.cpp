#include "core/failure.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"
#include "web/operations.h"

namespace kx::web {

int32_t createwebsite(Platform& platform, const String& Spath, const String& Vdir, const String& sName,
                      const String& Sdiscription)
{
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(1);
        auto root = platform.directory.bind(L"IIS://Localhost/W3SVC/" + Vdir + L"/root");
        auto directory = root->create(L"IIsWebVirtualDir", sName);
        directory->set_property(L"Path", Spath);
        directory->set_property(L"approot", L"/LM/w3svc/" + Vdir + L"/root/" + sName);
        directory->set_property(L"AccessRead", true);
        directory->set_property(L"AccessScript", true);
        directory->set_property(L"EnableDefaultDoc", true);
        directory->set_property(L"AspEnableParentPaths", true);
        directory->set_property(L"AppFriendlyName", Sdiscription);
        directory->set_property(L"AppIsolated", int16_t(0));
        directory->set_property(L"EnableDirBrowsing", false);
        directory->set_property(L"AuthNTLM", false);
        directory->set_info();
        return 0;
    });
}

}  // namespace kx::web
