// A small JSON reader and writer for the command-line caller. Text is UTF-16 inside; what is
// written is pure ASCII, everything else escaped, so that it survives any console.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace kx::json {

struct Value;
using Array = std::vector<Value>;
using Object = std::vector<std::pair<std::u16string, Value>>;  // in written order

struct Value
{
    std::variant<std::nullptr_t, bool, double, std::u16string, Array, Object> data = nullptr;

    bool is_null() const { return std::holds_alternative<std::nullptr_t>(data); }
    const Value* member(const std::u16string& name) const;
};

struct SyntaxError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// Parses one JSON text given as UTF-8; throws SyntaxError.
Value parse(const std::string& utf8);

// Writes a string literal, escaping quotes, backslashes, controls and every non-ASCII unit.
std::string quote(const std::u16string& text);

std::string write(const Value& value);

std::u16string from_utf8(const std::string& utf8);  // throws SyntaxError on bad UTF-8

}  // namespace kx::json
