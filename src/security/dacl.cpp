#include "security/dacl.h"

#include <algorithm>
#include "core/text.h"

namespace kx::file_security {

bool look_up_account(security::Security& security, const std::string& account, AccountSid& found)
{
    // The first lookup, with no room for the domain's name, learns the length of that name.
    uint32_t sid_size = 255, domain_size = 0, use = 0;
    char no_room = 0;
    security.lookup_account_name(account.c_str(), found.sid.data(), sid_size, &no_room, domain_size, use);
    // 255 blanks, or more when the domain's name needs more: never less than the length given.
    std::string domain(std::max<std::size_t>(255, domain_size), ' ');
    sid_size = 255;
    return security.lookup_account_name(account.c_str(), found.sid.data(), sid_size, domain.data(), domain_size, use);
}

bool read_descriptor(security::Security& security, const std::string& path, Buffer& descriptor)
{
    uint32_t needed = 0;
    security.get_file_security(path.c_str(), security::kDaclSecurityInformation, nullptr, 0, needed);
    descriptor = Buffer(needed);
    return security.get_file_security(path.c_str(), security::kDaclSecurityInformation, descriptor.data(), needed,
                                      needed);
}

uint32_t rights_mask(const String& rights, const char* letters)
{
    auto has = [&](char letter) {
        return std::any_of(rights.begin(), rights.end(), [&](wchar_t c) {
            return fold_case(c) == fold_case(static_cast<wchar_t>(letter));
        });
    };
    uint32_t mask = 0;
    for (const char* letter = letters; *letter; ++letter) {
        if (!has(*letter))
            continue;
        switch (*letter) {
        case 'R': mask += 0x80000000u; break;  // GENERIC_READ
        case 'W': mask += 0x40000000u; break;  // GENERIC_WRITE
        case 'X': mask += 0x20000000u; break;  // GENERIC_EXECUTE
        case 'D': mask += 0x00010000u; break;  // DELETE
        case 'A': mask += 0x10000000u; break;  // GENERIC_ALL
        default: break;
        }
    }
    return mask;
}

bool denies(const String& rights)
{
    return std::any_of(rights.begin(), rights.end(), [](wchar_t c) { return fold_case(c) == L'u'; });
}

records::ACCESS_ALLOWED_ACE entry_head(const void* ace)
{
    records::ACCESS_ALLOWED_ACE head{};
    std::memcpy(&head.Header, ace, sizeof head.Header);
    const std::size_t size = std::min<std::size_t>(sizeof head, entry_size(head));
    if (size > sizeof head.Header)
        std::memcpy(reinterpret_cast<uint8_t*>(&head) + sizeof head.Header,
                    static_cast<const uint8_t*>(ace) + sizeof head.Header, size - sizeof head.Header);
    return head;
}

void set_entry_head(void* ace, const records::ACCESS_ALLOWED_ACE& head)
{
    const std::size_t size = std::min<std::size_t>(sizeof head, entry_size(head));
    std::memcpy(ace, &head, std::max(size, sizeof head.Header));
}

}  // namespace kx::file_security
