#pragma once

#include <cstdint>

namespace kx {
struct Platform;
}

namespace kx::web {

// The lowest positive site number that no site uses.
int32_t getfreewebid(Platform& platform);

}  // namespace kx::web
