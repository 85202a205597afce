#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::web {

// The number of the site with that description (the one enumerated last), or 0.
int32_t getwebpath(Platform& platform, const String& description);

}  // namespace kx::web
