// The values that cross between the frame and the operations: the four automation types
// of the members, without any COM type, so that operations build and test anywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kx {

// A counted wide string: embedded NULs and trailing blanks are part of the value.
using String = std::wstring;

struct Empty
{
    bool operator==(const Empty&) const = default;
};
struct Null
{
    bool operator==(const Null&) const = default;
};
// A value that the operations cannot read: an object, an error value, an array of a kind that
// no member takes. Any conversion of it is a type mismatch.
struct Unreadable
{
    bool operator==(const Unreadable&) const = default;
};

// An automation variant as the operations see it: the scalar kinds they read and write, a
// one-dimensional list (a multi-valued directory property, lower bound 0), and bytes (an
// octet string, as a directory delivers a value of binary syntax), carried unread.
struct Variant
{
    using List = std::vector<Variant>;
    using Bytes = std::vector<uint8_t>;
    std::variant<Empty, Null, bool, int16_t, int32_t, double, String, List, Bytes, Unreadable> value;

    Variant() = default;
    template <class T>
    Variant(T v) : value(std::move(v)) {}
    Variant(const wchar_t* s) : value(String(s)) {}

    template <class T>
    bool holds() const { return std::holds_alternative<T>(value); }
    template <class T>
    const T& as() const { return std::get<T>(value); }

    bool operator==(const Variant&) const = default;
};

// A one-dimensional array of strings; nullopt stands for an unallocated (null) array.
using StringArray = std::optional<std::vector<String>>;

// One argument or result of a member. Monostate is the result of a member without one.
using Value = std::variant<std::monostate, String, int32_t, Variant, StringArray>;

}  // namespace kx
