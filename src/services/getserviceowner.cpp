#include "services/operations.h"
#include "services/version_string.h"

namespace kx::services {

String getserviceowner(Platform& platform, const String& FullFileName)
{
    return version_string(platform, FullFileName, "ProductName");
}

}  // namespace kx::services
