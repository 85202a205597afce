#include "services/operations.h"
#include "services/version_string.h"

namespace kx::services {

String getservicename(Platform& platform, const String& FullFileName)
{
    return version_string(platform, FullFileName, "FileDescription");
}

}  // namespace kx::services
