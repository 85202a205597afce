#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::web {

// The descriptions of all sites in store order, from index 1; element 0 is empty. With no
// site the list is unallocated.
StringArray getwebsitelist(Platform& platform);

}  // namespace kx::web
