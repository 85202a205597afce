#include "core/failure.h"
#include "ftp/operations.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"

namespace kx::ftp {

int32_t createftpsite(Platform& platform, const String& sFTPID, const String& SiteName, String& Port,
                      const String& Path)
{
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(1);
        auto service = platform.directory.bind(L"IIS://Localhost/MSFTPSVC");

        stages.arm(2);
        auto site = service->create(L"IIsFtpServer", sFTPID);
        site->set_property(L"ServerComment", SiteName);
        Port = L":" + Port + L":";
        site->set_property(L"ServerBindings", Port);
        site->set_property(L"LogType", int16_t(1));
        site->set_info();

        stages.arm(3);
        auto stored = platform.directory.bind(L"IIS://Localhost/MSFTPSVC/" + sFTPID);

        stages.arm(4);
        auto root = stored->create(L"IIsFtpVirtualDir", L"ROOT");
        root->set_property(L"Path", Path);
        root->put(L"AccessWrite", true);
        root->put(L"AccessRead", false);
        root->set_info();
        return 0;
    });
}

}  // namespace kx::ftp
