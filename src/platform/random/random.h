// The run time's pseudo-random generator as the operations use it: reseeded from the
// clock, then drawn; every draw is a single-precision value r with 0 <= r < 1.
#pragma once

#include <cstdint>
#include <functional>

namespace kx {

class Random
{
public:
    virtual ~Random() = default;
    virtual void reseed() = 0;
    virtual float draw() = 0;
};

// A generator (xoshiro128**) that takes each new seed from a seed source.
class SeededRandom final : public Random
{
public:
    explicit SeededRandom(std::function<uint64_t()> seed_source);
    void reseed() override;
    float draw() override;

private:
    uint32_t next();

    std::function<uint64_t()> seed_source_;
    uint32_t state_[4]{};
};

// A seed from the high-resolution clock mixed with the operating system's entropy source,
// so that two seeds taken within one clock tick still differ (Windows only).
uint64_t system_seed();

}  // namespace kx
