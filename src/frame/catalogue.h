// The class catalogue: every class, its members in order, their parameters and results.
// The data is generated from catalogue.txt, which also yields the type library.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace kx::catalogue {

enum class Type { None, Bstr, Long, Variant, StringArray };

struct Param
{
    const char* name;
    Type type;
    bool byref;
    bool shown;  // the call trace may write its value: it cannot carry a secret
};

struct Member
{
    const char* name;
    int32_t dispid;
    std::span<const Param> params;
    Type result;
    const char* failure;  // how the member reports failure, as the catalogue states it
    bool result_shown;    // the call trace may write a result that is no long
};

struct Class
{
    const char* name;
    const char* clsid;  // "{XXXXXXXX-...}"
    const char* iid;
    std::span<const Member> members;
};

struct RecordField
{
    const char* name;
    const char* type;  // "ui1", "i2", "i4" or the name of another record
};

struct Record
{
    const char* name;
    const char* uuid;
    std::span<const RecordField> fields;
};

struct Library
{
    const char* name;
    const char* libid;
    std::span<const Class> classes;
    std::span<const Record> records;
};

const Library& library();

// The class of that name (exact), or null.
const Class* find_class(std::string_view name);

// The member of that name, compared without regard to ASCII case; null when there is none.
const Member* find_member(const Class& cls, std::string_view name);

const char* type_name(Type type);

}  // namespace kx::catalogue
