#include "platform/codepage/codepage.h"
#include "platform/platform.h"
#include "platform/programs/programs.h"
#include "utilities/operations.h"

namespace kx::utilities {

// A handle counts as loaded when, taken as a signed 32-bit number, it is above 32. That is the
// 32-bit library's own rule; a 64-bit handle does not fit 32 bits, so there any handle counts.
int32_t checkdllavailable(Platform& platform, String& sDllName)
{
    const std::string name = platform.ansi.to_ansi(sDllName);
    const uintptr_t module = platform.programs.load_library(name);
    sDllName = platform.ansi.from_ansi(name);
    const bool loaded = sizeof(uintptr_t) > 4 ? module != 0 : static_cast<int32_t>(module) > 32;
    if (!loaded)
        return 1;
    platform.programs.free_library(module);
    return 0;
}

}  // namespace kx::utilities
