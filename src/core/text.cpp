#include "core/text.h"

#include <algorithm>

namespace kx {

wchar_t fold_case(wchar_t c)
{
    const auto u = static_cast<uint32_t>(c);
    auto shifted = [&](uint32_t by) { return static_cast<wchar_t>(u + by); };
    if ((u >= L'A' && u <= L'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))  // ASCII, Latin-1
        return shifted(0x20);
    if (u >= 0x100 && u <= 0x17F) {  // Latin Extended-A: pairs, upper case first
        if (u == 0x130 || u == 0x131 || u == 0x138 || u == 0x149 || u == 0x17F)
            return c;
        if (u == 0x178)
            return L'\u00FF';
        const bool odd_pairs = (u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E);
        return (u % 2 == (odd_pairs ? 1u : 0u)) ? shifted(1) : c;
    }
    if ((u >= 0x391 && u <= 0x3A9 && u != 0x3A2) || (u >= 0x410 && u <= 0x42F))  // Greek, Cyrillic
        return shifted(0x20);
    if (u >= 0x400 && u <= 0x40F)
        return shifted(0x50);
    return c;
}

bool equal_ignoring_case(const String& a, const String& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return fold_case(x) == fold_case(y); });
}

std::size_t find_ignoring_case(const String& text, const String& what, std::size_t from)
{
    if (what.empty() || from > text.size())
        return String::npos;
    const auto found = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), what.begin(),
                                   what.end(), [](wchar_t x, wchar_t y) { return fold_case(x) == fold_case(y); });
    return found == text.end() ? String::npos : static_cast<std::size_t>(found - text.begin());
}

String replace_ignoring_case(const String& text, const String& what, const String& with, bool every)
{
    String out;
    std::size_t from = 0;
    for (std::size_t at; (at = find_ignoring_case(text, what, from)) != String::npos;) {
        out.append(text, from, at - from).append(with);
        from = at + what.size();
        if (!every)
            break;
    }
    return out.append(text, from, String::npos);
}

std::vector<String> split_path(const String& path)
{
    std::vector<String> parts;
    String part;
    for (wchar_t c : path) {
        if (c == L'/') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

}  // namespace kx
