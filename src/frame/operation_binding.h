// Binds an operation, a plain C++ function of the form
//     R operation(Platform&, A1, A2, ...)
// to the uniform call of the frame: a list of argument values and one result value.
// Arguments that the operation takes by non-const reference are the ones it may write; the
// frame hands those writes back to the caller's by-reference parameters.
#pragma once

#include <array>
#include <span>
#include <type_traits>
#include <utility>

#include "core/value.h"
#include "frame/catalogue.h"

namespace kx {
struct Platform;
}

namespace kx::operations {

template <class T>
struct ValueKind;
template <>
struct ValueKind<String> { static constexpr catalogue::Type type = catalogue::Type::Bstr; };
template <>
struct ValueKind<int32_t> { static constexpr catalogue::Type type = catalogue::Type::Long; };
template <>
struct ValueKind<Variant> { static constexpr catalogue::Type type = catalogue::Type::Variant; };
template <>
struct ValueKind<StringArray> { static constexpr catalogue::Type type = catalogue::Type::StringArray; };
template <>
struct ValueKind<void> { static constexpr catalogue::Type type = catalogue::Type::None; };

struct ParamShape
{
    catalogue::Type type;
    bool writes;  // taken by non-const reference
};

struct Operation
{
    const char* cls;
    const char* member;
    Value (*run)(Platform&, std::span<Value>);
    std::span<const ParamShape> params;
    catalogue::Type result;
};

namespace detail {

template <class F>
struct Signature;

template <class R, class... A>
struct Signature<R (*)(Platform&, A...)>
{
    using Result = R;
    static constexpr std::array<ParamShape, sizeof...(A)> params{ParamShape{
        ValueKind<std::remove_cvref_t<A>>::type,
        std::is_lvalue_reference_v<A> && !std::is_const_v<std::remove_reference_t<A>>}...};

    template <auto Fn, std::size_t... I>
    static Value call(Platform& platform, std::span<Value> args, std::index_sequence<I...>)
    {
        if constexpr (std::is_void_v<R>) {
            Fn(platform, std::get<std::remove_cvref_t<A>>(args[I])...);
            return std::monostate{};
        } else {
            return Value(Fn(platform, std::get<std::remove_cvref_t<A>>(args[I])...));
        }
    }

    template <auto Fn>
    static Value run(Platform& platform, std::span<Value> args)
    {
        return call<Fn>(platform, args, std::index_sequence_for<A...>{});
    }
};

}  // namespace detail

// Operation entry for a catalogue member implemented by Fn.
template <auto Fn>
constexpr Operation bind(const char* cls, const char* member)
{
    using S = detail::Signature<decltype(Fn)>;
    return Operation{cls, member, &S::template run<Fn>, S::params,
                     ValueKind<typename S::Result>::type};
}

// Every operation built so far.
std::span<const Operation> all();

// The operation of a catalogue member, or null while it is not built.
const Operation* find(std::string_view cls, std::string_view member);

// Whether the operation's shape fits its catalogue entry: the same parameter and result
// types, and no written parameter that the catalogue passes by value.
bool fits(const Operation& operation, const catalogue::Member& member);

}  // namespace kx::operations
