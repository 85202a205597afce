// The text replacement on one line: the line, the search text and the replacement come from
// the input, split at its first two NULs.
#include "core/text.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const kx::String all = kx::fuzz::text(data, size);
    const std::size_t first = all.find(L'\0'), second = first == kx::String::npos ? first : all.find(L'\0', first + 1);
    if (second == kx::String::npos)
        return 0;
    const kx::String line = all.substr(0, first), what = all.substr(first + 1, second - first - 1),
                     with = all.substr(second + 1);
    const kx::String once = kx::replace_ignoring_case(line, what, with, false);
    const kx::String every = kx::replace_ignoring_case(line, what, with, true);
    const bool found = kx::find_ignoring_case(line, what) != kx::String::npos;
    if (!found && (once != line || every != line))
        __builtin_trap();
    if (found && once.size() != line.size() - what.size() + with.size())
        __builtin_trap();
    return 0;
}
