// The first entry of a version translation table, of any length: eight hexadecimal digits.
#include <cctype>

#include "fuzz.h"
#include "services/version_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string key = kx::services::first_translation_key(data, size);
    if (key.size() != 8)
        __builtin_trap();
    for (char c : key)
        if (!std::isxdigit(static_cast<unsigned char>(c)) || std::islower(static_cast<unsigned char>(c)))
            __builtin_trap();
    return 0;
}
