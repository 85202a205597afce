#include "platform/random/random.h"

#include <utility>

namespace kx {
namespace {

uint64_t splitmix64(uint64_t& x)
{
    uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint32_t rotl(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

}  // namespace

SeededRandom::SeededRandom(std::function<uint64_t()> seed_source) : seed_source_(std::move(seed_source))
{
    reseed();
}

void SeededRandom::reseed()
{
    uint64_t seed = seed_source_();
    uint64_t a = splitmix64(seed);
    uint64_t b = splitmix64(seed);
    state_[0] = static_cast<uint32_t>(a);
    state_[1] = static_cast<uint32_t>(a >> 32);
    state_[2] = static_cast<uint32_t>(b);
    state_[3] = static_cast<uint32_t>(b >> 32);
}

uint32_t SeededRandom::next()
{
    const uint32_t result = rotl(state_[1] * 5, 7) * 9;
    const uint32_t t = state_[1] << 9;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = rotl(state_[3], 11);
    return result;
}

float SeededRandom::draw()
{
    // The top 24 bits, scaled by 2^-24: exactly representable, uniform, and below 1.
    return static_cast<float>(next() >> 8) * 0x1p-24f;
}

}  // namespace kx
