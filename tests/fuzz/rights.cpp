// The rights letters: each letter counts once, in any case, and nothing else counts.
#include "fuzz.h"
#include "security/dacl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const kx::String rights = kx::fuzz::text(data, size);
    const uint32_t mask = kx::file_security::rights_mask(rights, "RWXDA");
    uint32_t expected = 0;
    for (const auto& [letter, bit] : {std::pair{L'R', 0x80000000u}, {L'W', 0x40000000u}, {L'X', 0x20000000u},
                                      {L'D', 0x00010000u}, {L'A', 0x10000000u}})
        if (rights.find(letter) != kx::String::npos || rights.find(static_cast<wchar_t>(letter + 32)) != kx::String::npos)
            expected |= bit;
    if (mask != expected)
        __builtin_trap();
    kx::file_security::denies(rights);
    return 0;
}
