#include "web/operations.h"

#include "platform/directory/directory.h"
#include "platform/platform.h"

namespace kx::web {
namespace {

constexpr int16_t kLogType = 1;
constexpr int32_t kLogExtFileFlags = 464782;  // 0x0007178E

}  // namespace

int32_t createwebroot(Platform& platform, const String& sName, const String& ServerComment, int32_t ServerSize,
                      const String& ServerBindings, const String& SecureBindings, const String& RootPath)
{
    directory::Directory& directory = platform.directory;
    auto service = directory.bind(L"IIS://Localhost/W3SVC");
    auto site = service->create(L"IIsWebServer", sName);
    auto logging = directory.bind(L"IIS://localhost/Logging/W3C Extended Log File Format");
    site->set_property(L"ServerComment", ServerComment);
    site->set_property(L"ServerSize", ServerSize);
    site->set_property(L"ServerBindings", ServerBindings);
    site->set_property(L"SecureBindings", SecureBindings);
    site->set_property(L"LogType", kLogType);
    site->set_property(L"LogPluginClsid", logging->property(L"LogModuleId"));
    site->set_property(L"LogExtFileFlags", kLogExtFileFlags);
    site->set_info();

    auto stored = directory.bind(L"IIS://Localhost/W3SVC/" + sName);
    auto root = stored->create(L"IIsWebVirtualDir", L"ROOT");
    root->set_property(L"Path", RootPath);
    root->set_info();

    auto again = directory.bind(L"IIS://Localhost/W3SVC/" + sName);
    auto mapper = again->create(L"IIsCertMapper", L"IIsCertMapper");
    mapper->set_info();
    return 0;
}

}  // namespace kx::web
