#include "frame/catalogue.h"

#include <algorithm>
#include <cctype>

namespace kx::catalogue {
namespace {
#include "catalogue_data.inc"

bool equal_ignoring_case(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}
}  // namespace

const Library& library() { return library_entry; }

const Class* find_class(std::string_view name)
{
    for (const Class& cls : library_entry.classes)
        if (name == cls.name)
            return &cls;
    return nullptr;
}

const Member* find_member(const Class& cls, std::string_view name)
{
    for (const Member& member : cls.members)
        if (equal_ignoring_case(name, member.name))
            return &member;
    return nullptr;
}

const char* type_name(Type type)
{
    switch (type) {
    case Type::Bstr: return "BSTR";
    case Type::Long: return "long";
    case Type::Variant: return "VARIANT";
    case Type::StringArray: return "SAFEARRAY(BSTR)";
    case Type::None: break;
    }
    return "none";
}

}  // namespace kx::catalogue
