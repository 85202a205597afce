// Text helpers shared by the directory code: names compared as the directory service does.
#pragma once

#include <vector>

#include "core/value.h"

namespace kx {

// Equal without regard to letter case.
bool equal_ignoring_case(const String& a, const String& b);

// The parts of a path between "/" separators; empty parts are dropped.
std::vector<String> split_path(const String& path);

}  // namespace kx
