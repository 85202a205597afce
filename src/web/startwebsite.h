#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::web {

// Starts site szWEBID: 0 done, 2 failed.
int32_t startwebsite(Platform& platform, const String& szWEBID);

}  // namespace kx::web
