#include <cstring>

#include "database/operations.h"
#include "platform/codepage/codepage.h"
#include "platform/digest/digest.h"
#include "platform/platform.h"

namespace kx::database {

// The digest buffer is 32 characters of fixed length: what the library leaves there comes
// back whole (a shorter text with its NUL and the blanks after it), padded or cut to 32.
String getcrcforfile(Platform& platform, String& f)
{
    char buffer[33];
    std::memset(buffer, ' ', 32);
    buffer[32] = '\0';
    const std::string path = platform.ansi.to_ansi(f);
    platform.digests.md_file(path, buffer);
    f = platform.ansi.from_ansi(path);
    String digest = platform.ansi.from_ansi(std::string(buffer, 32));
    digest.resize(32, L' ');
    return digest;
}

}  // namespace kx::database
