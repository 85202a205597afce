#include "services/version_string.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/buffer.h"
#include "platform/codepage/codepage.h"
#include "platform/platform.h"
#include "platform/ui/ui.h"
#include "platform/versions/versions.h"

namespace kx::services {

std::string translation_key(uint16_t language, uint16_t code_page)
{
    char key[9];
    std::snprintf(key, sizeof key, "%08X", (static_cast<unsigned>(language) << 16) | code_page);
    return key;
}

std::string first_translation_key(const uint8_t* table, std::size_t length)
{
    uint8_t copy[256] = {};
    std::memcpy(copy, table, std::min(length, sizeof copy));
    return translation_key(static_cast<uint16_t>(copy[0] | copy[1] << 8), static_cast<uint16_t>(copy[2] | copy[3] << 8));
}

// The translation copy holds 256 bytes and the value buffer 255 characters; a longer table is
// cut to its first 256 bytes (only the first entry is used) and a longer value to its first
// 254 characters.
String version_string(Platform& platform, const String& file, const char* name)
{
    versions::Versions& versions = platform.versions;
    auto tell = [&](const wchar_t* text) { platform.ui.message_box(text); };
    const std::string path = platform.ansi.to_ansi(file);

    uint32_t handle = 0;
    const int32_t size = static_cast<int32_t>(versions.get_file_version_info_size(path.c_str(), handle));
    if (size < 1) {
        tell(L"No Version Info available!");
        return L"Not found";
    }
    Buffer data(static_cast<std::size_t>(size));
    if (!versions.get_file_version_info(path.c_str(), 0, static_cast<uint32_t>(size), data.data())) {
        tell(L"GetFileVersionInfo failed.");
        return String();
    }
    const void* table = nullptr;
    uint32_t length = 0;
    if (!versions.ver_query_value(data.data(), "\\VarFileInfo\\Translation", table, length)) {
        tell(L"VerQueryValue failed.");
        return String();
    }
    const auto* entries = static_cast<const uint8_t*>(table);
    const std::size_t inside = data.holds(table) ? static_cast<std::size_t>(data.end() - entries) : 0;
    const std::string query =
        "\\StringFileInfo\\" + first_translation_key(entries, std::min<std::size_t>(length, inside)) + "\\" + name;
    const void* value = nullptr;
    if (!versions.ver_query_value(data.data(), query.c_str(), value, length)) {
        tell(L"VerQueryValue failed at");
        return String();
    }
    char text[255] = {};
    if (data.holds(value))
        copy_text(text, sizeof text, static_cast<const char*>(value), data.end());
    return platform.ansi.from_ansi(up_to_nul(text, sizeof text));
}

}  // namespace kx::services
