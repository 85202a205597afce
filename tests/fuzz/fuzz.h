// What the fuzz targets share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/value.h"

namespace kx::fuzz {

// The input as UTF-16 text, two bytes a character (a last odd byte on its own).
inline String text(const uint8_t* data, std::size_t size)
{
    String out;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        out += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    if (size % 2)
        out += static_cast<wchar_t>(data[size - 1]);
    return out;
}

}  // namespace kx::fuzz
