#include "frame/trace.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include "platform/codepage/utf8.h"
#include "platform/win32/handle.h"

namespace kx::frame::trace {
namespace {

using Json = nlohmann::ordered_json;

String setting()
{
    wchar_t path[MAX_PATH] = {}, expanded[MAX_PATH] = {};
    DWORD size = sizeof path, type = 0;
    // Expanded here: RegGetValueW refuses to expand into a fixed buffer on some systems.
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Kestrix", L"TraceFile",
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &type, path, &size) == ERROR_SUCCESS &&
        path[0]) {
        if (type != REG_EXPAND_SZ)
            return path;
        const DWORD length = ExpandEnvironmentStringsW(path, expanded, MAX_PATH);
        if (length > 0 && length <= MAX_PATH)
            return expanded;
    }
    const DWORD length = GetEnvironmentVariableW(L"KESTRIX_TRACE", path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? String(path, length) : String();
}

const String& file()
{
    static const String path = setting();
    return path;
}

Json to_json(const Variant& v)
{
    return std::visit(
        [](const auto& x) -> Json {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, Empty> || std::is_same_v<T, Null>)
                return nullptr;
            else if constexpr (std::is_same_v<T, Unreadable>)
                return "(unreadable)";
            else if constexpr (std::is_same_v<T, String>)
                return to_utf8(x);
            else if constexpr (std::is_same_v<T, Variant::Bytes>)
                return Json::binary(x);
            else if constexpr (std::is_same_v<T, Variant::List>) {
                Json list = Json::array();
                for (const Variant& item : x)
                    list.push_back(to_json(item));
                return list;
            } else
                return x;
        },
        v.value);
}

Json to_json(const Value& v)
{
    if (const String* text = std::get_if<String>(&v))
        return to_utf8(*text);
    if (const int32_t* number = std::get_if<int32_t>(&v))
        return *number;
    if (const Variant* variant = std::get_if<Variant>(&v))
        return to_json(*variant);
    if (const StringArray* array = std::get_if<StringArray>(&v)) {
        if (!*array)
            return nullptr;
        Json list = Json::array();
        for (const String& item : **array)
            list.push_back(to_utf8(item));
        return list;
    }
    return nullptr;
}

// A value the catalogue does not show: *** and its length (characters of a text, elements of
// a list), so that support can tell an empty value from a long one without reading it.
Json masked(const Value& v)
{
    std::size_t length = 0;
    if (const String* text = std::get_if<String>(&v))
        length = text->size();
    else if (const Variant* variant = std::get_if<Variant>(&v)) {
        if (const String* text = std::get_if<String>(&variant->value))
            length = text->size();
        else if (const Variant::List* list = std::get_if<Variant::List>(&variant->value))
            length = list->size();
        else if (const Variant::Bytes* bytes = std::get_if<Variant::Bytes>(&variant->value))
            length = bytes->size();
    } else if (const StringArray* array = std::get_if<StringArray>(&v))
        length = *array ? (*array)->size() : 0;
    return "***(" + std::to_string(length) + ")";
}

Json shown(const Value& v, bool show) { return show ? to_json(v) : masked(v); }

std::string now()
{
    SYSTEMTIME t;
    GetSystemTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

}  // namespace

bool enabled() { return !file().empty(); }

void record(const catalogue::Class& cls, const catalogue::Member& member, std::span<const Value> before,
            std::span<const Value> after, const Outcome& outcome, double milliseconds) noexcept
{
    try {
        Json args = Json::object(), byref = Json::object();
        for (std::size_t i = 0; i < member.params.size() && i < before.size() && i < after.size(); ++i) {
            const auto& param = member.params[i];
            args[param.name] = shown(before[i], param.shown);
            if (param.byref)
                byref[param.name] = shown(after[i], param.shown);
        }
        Json line{{"time", now()},
                  {"process", GetCurrentProcessId()},
                  {"call", std::string("Kestrix.") + cls.name + "." + member.name},
                  {"args", args},
                  {"byref", byref}};
        if (outcome.failure)
            line["error"] = {{"number", outcome.failure->status()}, {"description", to_utf8(outcome.failure->description())}};
        else
            line["result"] = shown(outcome.result, member.result == catalogue::Type::Long || member.result_shown);
        if (!outcome.held_back.empty()) {
            Json quiet = Json::array();
            for (const String& text : outcome.held_back)
                quiet.push_back(to_utf8(text));
            line["quiet"] = quiet;
        }
        line["ms"] = static_cast<double>(static_cast<long long>(milliseconds * 1000)) / 1000;
        const std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";

        // One write of the whole line to the end of the file, which other processes append
        // to at the same time.
        win32::FileHandle trace(CreateFileW(file().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (trace)
            WriteFile(trace.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } catch (...) {
        // A trace that cannot be written is no reason for a call to fail.
    }
}

}  // namespace kx::frame::trace
