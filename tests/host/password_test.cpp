#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <string>

#include "accounts/operations.h"
#include "platform/random/random.h"

namespace kx {
namespace {

// A generator that hands out the draws a test gives it.
class ScriptedRandom final : public Random
{
public:
    explicit ScriptedRandom(std::deque<float> draws) : draws_(std::move(draws)) {}
    void reseed() override { ++reseeds; }
    float draw() override
    {
        float r = draws_.front();
        draws_.pop_front();
        return r;
    }
    int reseeds = 0;

private:
    std::deque<float> draws_;
};

// The draw that lands on code c for a draw of scale m and offset o.
float landing_on(int c, int m, int o) { return (static_cast<float>(c - o) + 0.5f) / static_cast<float>(m); }

std::deque<float> all(float r) { return std::deque<float>(20, r); }

const float kLargestBelowOne = std::nextafter(1.0f, 0.0f);

TEST(Password, SmallestAndLargestDrawsStayInsideEveryRangeAndEveryCallReseeds)
{
    ScriptedRandom lowest(all(0.0f));
    EXPECT_EQ(accounts::generate_password(lowest), L"00000000000000000:Aa");
    ScriptedRandom highest(all(kLargestBelowOne));
    EXPECT_EQ(accounts::generate_password(highest), L"zzzzzzzzzzzzzzzz9?Zz");
    EXPECT_EQ(highest.reseeds, 1);
}

TEST(Password, ExcludedCodesShortenThePasswordInsteadOfBeingRedrawn)
{
    std::deque<float> draws = all(0.0f);
    draws[0] = landing_on(60, 75, 48);  // <
    draws[5] = landing_on(62, 75, 48);  // >
    draws[9] = landing_on(92, 75, 48);  // backslash
    draws[15] = landing_on(96, 75, 48); // grave accent
    draws[17] = landing_on(60, 6, 58);  // < in the punctuation draw
    ScriptedRandom random(draws);
    const String password = accounts::generate_password(random);
    EXPECT_EQ(password, L"0000000000000Aa");
    EXPECT_EQ(password.size(), 15u);
}

TEST(Password, LostPunctuationDrawLeavesTheDigitBeforeTheUpperCaseLetter)
{
    std::deque<float> draws = all(0.0f);
    draws[16] = landing_on(55, 10, 48);  // 7
    draws[17] = landing_on(62, 6, 58);   // >
    draws[18] = landing_on(81, 26, 65);  // Q
    draws[19] = landing_on(119, 26, 97); // w
    ScriptedRandom random(draws);
    EXPECT_EQ(accounts::generate_password(random), L"00000000000000007Qw");
}

TEST(Password, DrawsAreSinglePrecisionValuesBelowOne)
{
    uint64_t seed = 0xFFFFFFFFFFFFFFFFull;
    SeededRandom random([&] { return seed--; });
    float highest = 0.0f;
    for (int i = 0; i < 1000000; ++i) {
        const float r = random.draw();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
        highest = std::max(highest, r);
    }
    EXPECT_GT(highest, 0.999f);
}

}  // namespace
}  // namespace kx
