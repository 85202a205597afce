#include <gtest/gtest.h>

#include "core/convert.h"
#include "core/failure.h"

namespace kx {
namespace {

int32_t status_of_long(const String& text)
{
    try {
        to_long(text);
    } catch (const Failure& failure) {
        return failure.status();
    }
    return 0;
}

TEST(Convert, DecimalTextToNumbers)
{
    EXPECT_EQ(to_long(String(L"01")), 1);
    EXPECT_EQ(to_long(String(L" 42 ")), 42);
    EXPECT_EQ(to_long(String(L"-7")), -7);
    EXPECT_EQ(to_long(String(L"2.5")), 2);  // half to even
    EXPECT_EQ(to_long(String(L"3.5")), 4);
    EXPECT_EQ(to_double(String(L"1")), 1.0);
    for (const wchar_t* bad : {L"", L" ", L"abc", L"1a", L"1 2", L".", L"+", L"\u0661"})
        EXPECT_EQ(status_of_long(bad), runtime::kTypeMismatch) << bad;
    EXPECT_EQ(status_of_long(L"2147483648"), runtime::kOverflow);
    EXPECT_EQ(to_long(String(L"2147483647")), 2147483647);
}

TEST(Convert, ValuesToText)
{
    EXPECT_EQ(to_text(Variant(L"x")), L"x");
    EXPECT_EQ(to_text(Variant()), L"");
    EXPECT_EQ(to_text(Variant(int16_t(-3))), L"-3");
    EXPECT_EQ(to_text(Variant(true)), L"True");
    EXPECT_THROW(to_text(Variant(Null{})), Failure);
    EXPECT_THROW(to_text(Variant(Variant::List{})), Failure);
    EXPECT_THROW(to_text(Variant(Unreadable{})), Failure);
    EXPECT_THROW(to_long(Variant(Unreadable{})), Failure);
}

TEST(Convert, ElementsOfLists)
{
    const Variant list(Variant::List{Variant(L"a"), Variant(L"b")});
    EXPECT_EQ(element(list, 1), Variant(L"b"));
    try {
        element(Variant(Variant::List{}), 0);
        FAIL();
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.status(), runtime::kSubscriptOutOfRange);
    }
    try {
        element(Variant(L":80:"), 0);
        FAIL();
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.status(), runtime::kTypeMismatch);
    }
}

}  // namespace
}  // namespace kx
