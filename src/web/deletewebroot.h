#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::web {

// Deletes site szWEBID with everything below it: 0 done, 2 failed.
int32_t deletewebroot(Platform& platform, const String& szWEBID);

}  // namespace kx::web
