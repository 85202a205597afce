#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::web {

// The first secure binding string of the site with that description (the one enumerated
// last), "Not Found", or "None" when anything fails from the first match on.
String getwebportsecure(Platform& platform, const String& description);

}  // namespace kx::web
