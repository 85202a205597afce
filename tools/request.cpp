#include "request.h"

namespace kx::caller {

Request parse_request(const std::string& line)
{
    nlohmann::ordered_json request;
    try {
        request = nlohmann::ordered_json::parse(line);
    } catch (const nlohmann::ordered_json::exception& error) {  // parse_error, or out_of_range for 1e99999
        throw MalformedRequest(std::string("malformed JSON: ") + error.what());
    }
    if (!request.is_object() || !request.contains("member") || !request["member"].is_string())
        throw MalformedRequest("a call needs \"member\", a string");
    if (request.contains("args") && !request["args"].is_array())
        throw MalformedRequest("\"args\" must be an array");
    return Request{request["member"].get<std::string>(),
                   request.contains("args") ? request["args"] : nlohmann::ordered_json::array()};
}

}  // namespace kx::caller
