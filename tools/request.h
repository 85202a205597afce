// A line of the caller's batch: {"member": "...", "args": [...]}.
#pragma once

#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace kx::caller {

struct Request
{
    std::string member;          // UTF-8
    nlohmann::ordered_json args;  // an array
};

struct MalformedRequest : std::invalid_argument
{
    using std::invalid_argument::invalid_argument;
};

// Throws MalformedRequest: malformed JSON, or a call without "member" as a string, or with
// "args" that is not an array.
Request parse_request(const std::string& line);

}  // namespace kx::caller
