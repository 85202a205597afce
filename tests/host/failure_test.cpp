#include <gtest/gtest.h>

#include "core/failure.h"

namespace kx {
namespace {

const Failure platform_failure(static_cast<int32_t>(0x80070003), L"The system cannot find the path specified.");

TEST(Stages, AFailureBeforeAnyStageIsArmedIsRaisedWithItsStatus)
{
    Stages<int32_t> stages;
    try {
        stages.run([&]() -> int32_t { throw platform_failure; });
        FAIL() << "not raised";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.status(), platform_failure.status());
        EXPECT_EQ(failure.description(), platform_failure.description());
    }
}

TEST(Stages, AFailureEndsTheRunWithTheCodeOfTheStageArmedLast)
{
    int steps_done = 0;
    Stages<int32_t> stages;
    const int32_t code = stages.run([&]() -> int32_t {
        stages.arm(1);
        ++steps_done;
        stages.arm(3);
        ++steps_done;
        throw platform_failure;
    });
    EXPECT_EQ(code, 3);
    EXPECT_EQ(steps_done, 2);
}

TEST(Stages, ASentinelStringStandsInForTheResult)
{
    Stages<String> stages;
    EXPECT_EQ(stages.run([&]() -> String {
        stages.arm(L"None");
        throw runtime::subscript_out_of_range();
    }),
              L"None");
    Stages<String> untouched;
    EXPECT_EQ(untouched.run([] { return String(L":443:"); }), L":443:");
}

TEST(Stages, OnlyFailuresAreTrapped)
{
    Stages<int32_t> stages;
    EXPECT_THROW(stages.run([&]() -> int32_t {
        stages.arm(2);
        throw std::logic_error("a bug");
    }),
                 std::logic_error);
}

TEST(PartlyIgnored, AnIgnoredStepLetsTheNextOneRun)
{
    int next_step = 0;
    ignoring_failure([] { throw runtime::type_mismatch(); });
    ++next_step;
    EXPECT_EQ(next_step, 1);
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
        EXPECT_EQ(failure.description(), L"Overflow");
    }
}

}  // namespace
}  // namespace kx
