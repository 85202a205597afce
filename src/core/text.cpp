#include "core/text.h"

#include <algorithm>
#include <cwctype>

namespace kx {

bool equal_ignoring_case(const String& a, const String& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(x) == std::towlower(y);
           });
}

std::size_t find_ignoring_case(const String& text, const String& what, std::size_t from)
{
    if (what.empty() || from > text.size())
        return String::npos;
    const auto found = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), what.begin(),
                                   what.end(), [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
    return found == text.end() ? String::npos : static_cast<std::size_t>(found - text.begin());
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
