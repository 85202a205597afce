#include <algorithm>
#include <functional>
#include <memory>

#include "platform/codepage/codepage.h"
#include "platform/platform.h"
#include "platform/security/security.h"
#include "security/operations.h"

namespace kx::file_security {

// The name and domain buffers hold 64 characters. A name or domain name that needs more
// gets a buffer of the length the first lookup asked for, so that the second lookup never
// writes past one; the answer is then that whole, longer buffer.
String getntaccountbysid(Platform& platform, const String& sSid)
{
    security::Security& security = platform.security;
    auto error_text = [&] { return L"GetLastError returned : " + std::to_wstring(security.last_error()); };

    void* sid = nullptr;
    if (!security.convert_string_sid_to_sid(platform.ansi.to_ansi(sSid).c_str(), sid))
        return error_text();
    const std::unique_ptr<void, std::function<void(void*)>> release(sid, [&](void* s) { security.free_sid(s); });
    if (!security.is_valid_sid(sid))
        return error_text();

    std::string name(64, ' '), domain(64, ' ');
    uint32_t name_size = 0, domain_size = 0, use = 0;
    security.lookup_account_sid(sid, name.data(), name_size, domain.data(), domain_size, use);  // learns the lengths
    name.resize(std::max<std::size_t>(name.size(), name_size), ' ');
    domain.resize(std::max<std::size_t>(domain.size(), domain_size), ' ');
    if (!security.lookup_account_sid(sid, name.data(), name_size, domain.data(), domain_size, use))
        return error_text();
    return platform.ansi.from_ansi(name);
}

}  // namespace kx::file_security
