// The system's 8-bit (ANSI) code page, through which the platform's ANSI functions take and
// give text. A character that the code page lacks becomes the code page's default character,
// never a look-alike that it has; a text that cannot be converted at all is a Failure.
#pragma once

#include <string>

#include "core/value.h"

namespace kx {

class CodePage
{
public:
    virtual ~CodePage() = default;
    virtual std::string to_ansi(const String& text) = 0;
    virtual String from_ansi(const std::string& text) = 0;
};

// The text of an ANSI buffer up to its first NUL (all of it when it has none).
inline std::string up_to_nul(const char* buffer, std::size_t size)
{
    std::size_t length = 0;
    while (length < size && buffer[length])
        ++length;
    return std::string(buffer, length);
}

}  // namespace kx
