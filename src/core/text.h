// Text helpers shared by the directory code: names compared as the directory service does.
#pragma once

#include <vector>

#include "core/value.h"

namespace kx {

// Equal without regard to letter case.
bool equal_ignoring_case(const String& a, const String& b);

// Where the first occurrence of what stands in text at or after from, letters compared
// without regard to case; npos when it is nowhere, and for an empty what.
std::size_t find_ignoring_case(const String& text, const String& what, std::size_t from = 0);

// The parts of a path between "/" separators; empty parts are dropped.
std::vector<String> split_path(const String& path);

}  // namespace kx
