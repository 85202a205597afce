// The checksum list's line rules and the statement built from a line.
#include "database/checksums.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const kx::String line = kx::fuzz::text(data, size);
    if (const auto entry = kx::database::checksum_line(line)) {
        if (entry->object.empty() || line != entry->object + L"|" + entry->checksum)
            __builtin_trap();  // a name before the first bar, everything after it
        const auto name = kx::database::sql_encoded(entry->object);
        kx::database::upload_statement(L"M", L"P", name.value(), entry->checksum);
    } else if (line.find(L'|') != kx::String::npos && line.find(L'|') != 0) {
        __builtin_trap();
    }
    return 0;
}
