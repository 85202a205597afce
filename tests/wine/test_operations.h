#pragma once

#include "core/failure.h"
#include "core/value.h"

namespace kx::test {

// What the getwebsitelist of the tests returns.
extern StringArray site_list;

}  // namespace kx::test
