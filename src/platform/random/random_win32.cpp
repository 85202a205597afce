#include <windows.h>
#include <bcrypt.h>

#include "platform/random/random.h"

namespace kx {

uint64_t system_seed()
{
    LARGE_INTEGER ticks{};
    QueryPerformanceCounter(&ticks);
    uint64_t entropy = 0;
    // Should the entropy source fail, the clock alone still seeds the generator.
    BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&entropy), sizeof entropy, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    return static_cast<uint64_t>(ticks.QuadPart) ^ entropy;
}

}  // namespace kx
