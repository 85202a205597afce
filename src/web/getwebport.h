#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::web {

// The first binding string of the site with that description (the one enumerated last), or
// "Not Found".
String getwebport(Platform& platform, const String& description);

}  // namespace kx::web
