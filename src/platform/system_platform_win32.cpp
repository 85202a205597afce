// The platform of Kestrix.dll: the Windows implementation of every port.
#include "platform/system_platform.h"

namespace kx {

SystemPlatform::SystemPlatform()
    : random_(system_seed),
      platform_{directory_,  files_,      random_,     ui_,         ansi_,
                security_,  services_,   versions_,   sequential_, automation_,
                programs_,  digests_}
{
}

}  // namespace kx
