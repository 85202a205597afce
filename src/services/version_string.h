// What reading the description and the product name of a file share.
#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::services {

// A string of the file's version resource under its first translation ("FileDescription",
// "ProductName"). Each failure shows its message: "Not found" without version data, empty
// after any later step.
String version_string(Platform& platform, const String& file, const char* name);

// The key of a translation: the language in the high 16 bits, the code page in the low, as 8
// upper-case hexadecimal digits (0409 with 04B0 gives 040904B0).
std::string translation_key(uint16_t language, uint16_t code_page);

// The key of a translation table's first entry, from the table as the version data holds it:
// at most its first 256 bytes count, and a table shorter than an entry reads as zeros.
std::string first_translation_key(const uint8_t* table, std::size_t length);

}  // namespace kx::services
