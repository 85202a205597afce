#include "reference.h"

#include <windows.h>

#include <sstream>

namespace kx::reference {
namespace {

// The reference as the build embedded it.
std::string text()
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    return data ? std::string(data, SizeofResource(nullptr, found)) : std::string();
}

// The lines from the heading to the next heading of the same level or above.
std::string under(const std::string& all, const std::string& heading, std::size_t from, std::size_t to)
{
    const std::size_t level = heading.find(' ');
    const std::size_t start = all.find("\n" + heading + "\n", from);
    if (start == std::string::npos || start >= to)
        return {};
    std::size_t end = start + 1;
    for (;;) {
        end = all.find("\n#", end + 1);
        if (end == std::string::npos || end >= to) {
            end = to;
            break;
        }
        if (all.find(' ', end + 1) - (end + 1) <= level)
            break;
    }
    return all.substr(start + 1, end - start - 1);
}

}  // namespace

std::string section(const std::string& cls, const std::string& member)
{
    const std::string all = text();
    const std::string of_class = under(all, "## " + cls, 0, all.size());
    if (of_class.empty())
        return "(the reference does not describe " + cls + ")";
    const std::string of_member = under("\n" + of_class, "### " + member, 0, of_class.size() + 1);
    if (of_member.empty())
        return of_class;
    // A member of a class with several: what the class's opening says of all, then its own.
    std::string opening = of_class.substr(0, of_class.find("\n### "));
    opening.erase(opening.find_last_not_of('\n') + 1);
    return opening + "\n\n" + of_member;
}

}  // namespace kx::reference
