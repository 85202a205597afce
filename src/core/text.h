// Text helpers shared by the directory code: names compared as the directory service does.
#pragma once

#include <vector>

#include "core/value.h"

namespace kx {

// A letter in lower case, by the same rules everywhere: the letters of ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic (those of the Windows ANSI code pages); others stay.
wchar_t fold_case(wchar_t c);

// Equal without regard to letter case.
bool equal_ignoring_case(const String& a, const String& b);

// Where the first occurrence of what stands in text at or after from, letters compared
// without regard to case; npos when it is nowhere, and for an empty what.
std::size_t find_ignoring_case(const String& text, const String& what, std::size_t from = 0);

// The text with what replaced by with, compared without regard to case: the first occurrence
// only, or every one from left to right, never inside inserted text. An empty what occurs
// nowhere.
String replace_ignoring_case(const String& text, const String& what, const String& with, bool every);

// The parts of a path between "/" separators; empty parts are dropped.
std::vector<String> split_path(const String& path);

}  // namespace kx
