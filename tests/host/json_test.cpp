#include <gtest/gtest.h>

#include "json.h"

namespace kx::json {
namespace {

TEST(Json, WritesPureAsciiWithEveryOtherUnitEscaped)
{
    const std::u16string odd = std::u16string(u"a\0b\"\\ \u00e9\U0001F600\n  ", 12);
    EXPECT_EQ(quote(odd), "\"a\\u0000b\\\"\\\\ \\u00e9\\ud83d\\ude00\\u000a  \"");
    EXPECT_EQ(write(Value{Array{Value{nullptr}, Value{true}, Value{-2147467263.0}, Value{0.5}}}),
              "[null, true, -2147467263, 0.5]");
    EXPECT_EQ(write(Value{Object{{u"result", Value{u":80:"}}, {u"byref", Value{Object{}}}}}),
              "{\"result\": \":80:\", \"byref\": {}}");
}

TEST(Json, ReadsWhatItWritesAndUtf8Input)
{
    const std::u16string odd = std::u16string(u"x\0y \u4e2d\U0001F600", 7);
    const Value back = parse(write(Value{odd}));
    EXPECT_EQ(std::get<std::u16string>(back.data), odd);
    const Value utf8 = parse("{\"member\": \"getwebid\", \"args\": [\"Caf\xc3\xa9 \xf0\x9f\x98\x80\", null, 3]}");
    const Array& args = std::get<Array>(utf8.member(u"args")->data);
    EXPECT_EQ(std::get<std::u16string>(args[0].data), u"Caf\u00e9 \U0001F600");
    EXPECT_TRUE(args[1].is_null());
    EXPECT_EQ(std::get<double>(args[2].data), 3.0);
    EXPECT_EQ(utf8.member(u"missing"), nullptr);
}

TEST(Json, RefusesMalformedText)
{
    for (const char* bad : {"", "{", "[1,]", "{\"a\" 1}", "\"open", "\"bad \\q escape\"", "nul", "1 2",
                            "\"\\u12\"", "\"\x01\"", "\"\xc3\"", "{member: 1}", "-", "1."})
        EXPECT_THROW(parse(bad), SyntaxError) << bad;
}

}  // namespace
}  // namespace kx::json
