#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <set>
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

TEST(Password, SmallestAndLargestDrawsStayInsideEveryRange)
{
    ScriptedRandom lowest(all(0.0f));
    EXPECT_EQ(accounts::generate_password(lowest), L"00000000000000000:Aa");
    ScriptedRandom highest(all(kLargestBelowOne));
    EXPECT_EQ(accounts::generate_password(highest), L"zzzzzzzzzzzzzzzz9?Zz");
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

TEST(Password, EveryCallReseeds)
{
    std::deque<float> draws = all(0.5f);
    draws.insert(draws.end(), 20, 0.5f);
    ScriptedRandom random(draws);
    accounts::generate_password(random);
    accounts::generate_password(random);
    EXPECT_EQ(random.reseeds, 2);
}

// What each of the twenty positions of a full-length password may hold.
std::set<wchar_t> allowed_at(std::size_t position)
{
    std::set<wchar_t> allowed;
    auto add = [&](int from, int to) {
        for (int c = from; c <= to; ++c)
            if (c != 60 && c != 62 && c != 92 && c != 96)
                allowed.insert(static_cast<wchar_t>(c));
    };
    if (position < 16)
        add(48, 122);
    else if (position == 16)
        add(48, 57);
    else if (position == 17)
        add(58, 63);
    else if (position == 18)
        add(65, 90);
    else
        add(97, 122);
    return allowed;
}

bool well_shaped(const String& p)
{
    if (p.size() < 3 || p.size() > 20)
        return false;
    for (wchar_t c : p)
        if (c == L'<' || c == L'>' || c == L'\\' || c == L'`' || c < 48 || c > 122)
            return false;
    const std::size_t n = p.size();
    if (!(p[n - 1] >= L'a' && p[n - 1] <= L'z') || !(p[n - 2] >= L'A' && p[n - 2] <= L'Z'))
        return false;
    const bool punctuation = std::wstring(L":;=?").find(p[n - 3]) != std::wstring::npos;
    const wchar_t digit = punctuation ? p.at(n - 4) : p[n - 3];
    return digit >= L'0' && digit <= L'9';
}

TEST(Password, TheRealGeneratorUsesEveryPositionsWholeRangeAndNothingElse)
{
    uint64_t seed = 1;
    SeededRandom random([&] { return seed++; });
    std::set<wchar_t> seen[20];
    std::set<String> passwords;
    for (int i = 0; i < 20000; ++i) {
        const String p = accounts::generate_password(random);
        ASSERT_TRUE(well_shaped(p)) << std::string(p.begin(), p.end());
        passwords.insert(p);
        if (p.size() == 20)
            for (std::size_t k = 0; k < 20; ++k)
                seen[k].insert(p[k]);
    }
    for (std::size_t k = 0; k < 20; ++k)
        EXPECT_EQ(seen[k], allowed_at(k)) << "position " << k + 1;
    EXPECT_EQ(passwords.size(), 20000u);
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
