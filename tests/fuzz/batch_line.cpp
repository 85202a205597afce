// A line of the command-line caller's batch.
#include <string>

#include "request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const kx::caller::Request request = kx::caller::parse_request(std::string(reinterpret_cast<const char*>(data), size));
        if (!request.args.is_array())
            __builtin_trap();
    } catch (const kx::caller::MalformedRequest&) {
    }
    return 0;
}
