// The service and file-version operations: a service's state and first dependency, and two
// strings of a file's version resource.
#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::services {

// The service's state (1 stopped ... 7 paused), -1 when it cannot be opened, 0 when its
// status cannot be read.
int32_t getservicestatus(Platform& platform, const String& sService);
// The first name of the service's dependency list, a NUL and blanks to 255 characters; "-1"
// when it cannot be opened; empty when its status or configuration cannot be read.
String getservicedependencies(Platform& platform, const String& sService);

// The file's "FileDescription" and "ProductName" under its first translation; "Not found"
// without version data, empty when a later step fails.
String getservicename(Platform& platform, const String& FullFileName);
String getserviceowner(Platform& platform, const String& FullFileName);

}  // namespace kx::services
