#include <gtest/gtest.h>

#include "core/failure.h"

namespace kx {
namespace {

const Failure platform_failure(static_cast<int32_t>(0x80070003), L"The system cannot find the path specified.");

TEST(Stages, AFailureIsRaisedUntilAStageIsArmedThenEndsTheRunWithTheLastOnesResult)
{
    Stages<int32_t> unarmed;
    try {
        unarmed.run([&]() -> int32_t { throw platform_failure; });
        FAIL() << "not raised";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.status(), platform_failure.status());
        EXPECT_EQ(failure.description(), platform_failure.description());
    }
    int steps_done = 0, traps = 0;
    Stages<int32_t> stages;
    EXPECT_EQ(stages.run([&]() -> int32_t {
        stages.arm(1);
        ++steps_done;
        stages.arm(3, [&] { ++traps; });
        ++steps_done;
        throw platform_failure;
    }),
              3);
    EXPECT_EQ(steps_done, 2);
    EXPECT_EQ(traps, 1);
    Stages<String> sentinel;
    EXPECT_EQ(sentinel.run([&]() -> String {
        sentinel.arm(L"None");
        throw runtime::subscript_out_of_range();
    }),
              L"None");
    // Only failures are trapped.
    EXPECT_THROW(stages.run([&]() -> int32_t { throw std::logic_error("a bug"); }), std::logic_error);
}

TEST(Counter16, PassingTheLargest16BitNumberIsAnOverflow)
{
    Counter16 counter(32766);
    ++counter;
    EXPECT_EQ(counter.value(), 32767);
    try {
        ++counter;
        FAIL() << "no overflow";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.status(), runtime::kOverflow);
    }
    EXPECT_EQ(ignoring_failure([] { throw runtime::type_mismatch(); })->status(), runtime::kTypeMismatch);
}

}  // namespace
}  // namespace kx
