#include "core/convert.h"

#include <cmath>
#include <cstdio>
#include <cwctype>

#include "core/failure.h"

namespace kx {
namespace {

bool blank(wchar_t c) { return c == L' ' || c == L'\t'; }

String number_text(double d)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", d);
    return String(text, text + std::char_traits<char>::length(text));
}

int32_t rounded_long(double d)
{
    const double r = std::nearbyint(d);  // the default rounding mode: half to even
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        throw runtime::overflow();
    return static_cast<int32_t>(r);
}

}  // namespace

String to_text(const Variant& value)
{
    if (value.holds<String>())
        return value.as<String>();
    if (value.holds<Empty>())
        return String();
    if (value.holds<bool>())
        return value.as<bool>() ? L"True" : L"False";
    if (value.holds<int16_t>())
        return std::to_wstring(value.as<int16_t>());
    if (value.holds<int32_t>())
        return std::to_wstring(value.as<int32_t>());
    if (value.holds<double>())
        return number_text(value.as<double>());
    throw runtime::type_mismatch();
}

double to_double(const String& text)
{
    std::size_t at = 0, end = text.size();
    while (at < end && blank(text[at]))
        ++at;
    while (end > at && blank(text[end - 1]))
        --end;
    std::size_t cursor = at;
    if (cursor < end && (text[cursor] == L'+' || text[cursor] == L'-'))
        ++cursor;
    std::size_t digits = 0;
    while (cursor < end && std::iswdigit(text[cursor]) && text[cursor] < 0x80) {
        ++cursor;
        ++digits;
    }
    if (cursor < end && text[cursor] == L'.') {
        ++cursor;
        while (cursor < end && std::iswdigit(text[cursor]) && text[cursor] < 0x80) {
            ++cursor;
            ++digits;
        }
    }
    if (digits == 0 || cursor != end)
        throw runtime::type_mismatch();
    const std::string ascii(text.begin() + at, text.begin() + end);
    const double d = std::strtod(ascii.c_str(), nullptr);
    if (!std::isfinite(d))
        throw runtime::overflow();
    return d;
}

int32_t to_long(const String& text) { return rounded_long(to_double(text)); }

double to_double(const Variant& value)
{
    if (value.holds<String>())
        return to_double(value.as<String>());
    if (value.holds<Empty>())
        return 0;
    if (value.holds<bool>())
        return value.as<bool>() ? -1 : 0;
    if (value.holds<int16_t>())
        return value.as<int16_t>();
    if (value.holds<int32_t>())
        return value.as<int32_t>();
    if (value.holds<double>())
        return value.as<double>();
    throw runtime::type_mismatch();
}

int32_t to_long(const Variant& value)
{
    if (value.holds<int32_t>())
        return value.as<int32_t>();
    return rounded_long(to_double(value));
}

const Variant& element(const Variant& list, std::size_t index)
{
    if (!list.holds<Variant::List>())
        throw runtime::type_mismatch();
    const Variant::List& items = list.as<Variant::List>();
    if (index >= items.size())
        throw runtime::subscript_out_of_range();
    return items[index];
}

}  // namespace kx
