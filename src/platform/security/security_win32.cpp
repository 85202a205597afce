#include "platform/security/security_win32.h"

#include <windows.h>
#include <sddl.h>

#include "platform/win32/limits.h"

namespace kx::security {

template <class R>
R Win32Security::noted(R result)
{
    last_error_ = GetLastError();
    return result;
}

namespace {

bool letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// What a SID string can be: "S-" and the rest, or a two-letter alias such as BA. Anything else
// (an empty string, blanks) is refused as Windows refuses it, whatever a conversion would
// make of it.
bool could_be_sid(const char* text)
{
    if (win32::longer_than(text, win32::kSidTextLimit, ERROR_INVALID_SID))
        return false;
    const std::size_t length = std::strlen(text);
    if ((length > 2 && (text[0] == 'S' || text[0] == 's') && text[1] == '-') ||
        (length == 2 && letter(text[0]) && letter(text[1])))
        return true;
    SetLastError(ERROR_INVALID_SID);
    return false;
}

}  // namespace

bool Win32Security::lookup_account_name(const char* account, void* sid, uint32_t& sid_size, char* domain,
                                        uint32_t& domain_size, uint32_t& use)
{
    DWORD sid_length = sid_size, domain_length = domain_size;
    SID_NAME_USE kind = SidTypeUnknown;
    const bool ok = noted(!win32::longer_than(account, win32::kAccountNameLimit, ERROR_NONE_MAPPED) &&
                          LookupAccountNameA(nullptr, account, sid, &sid_length, domain, &domain_length, &kind) != 0);
    sid_size = sid_length;
    domain_size = domain_length;
    use = kind;
    return ok;
}

bool Win32Security::lookup_account_sid(const void* sid, char* name, uint32_t& name_size, char* domain,
                                       uint32_t& domain_size, uint32_t& use)
{
    DWORD name_length = name_size, domain_length = domain_size;
    SID_NAME_USE kind = SidTypeUnknown;
    const bool ok = noted(LookupAccountSidA(nullptr, const_cast<void*>(sid), name, &name_length, domain,
                                            &domain_length, &kind) != 0);
    name_size = name_length;
    domain_size = domain_length;
    use = kind;
    return ok;
}

bool Win32Security::convert_string_sid_to_sid(const char* text, void*& sid)
{
    PSID converted = nullptr;
    const bool ok = noted(could_be_sid(text) && ConvertStringSidToSidA(text, &converted) != 0);
    sid = ok ? converted : nullptr;
    return ok;
}

bool Win32Security::is_valid_sid(const void* sid) { return noted(IsValidSid(const_cast<void*>(sid)) != 0); }

bool Win32Security::equal_sid(const void* a, const void* b)
{
    return noted(EqualSid(const_cast<void*>(a), const_cast<void*>(b)) != 0);
}

uint32_t Win32Security::get_length_sid(const void* sid) { return noted(GetLengthSid(const_cast<void*>(sid))); }

// The conversion's SID comes from LocalAlloc, which draws on the process heap that FreeSid
// returns memory to; LocalFree is its documented counterpart.
void Win32Security::free_sid(void* sid)
{
    LocalFree(sid);
    last_error_ = GetLastError();
}

bool Win32Security::get_file_security(const char* path, uint32_t information, void* descriptor, uint32_t length,
                                      uint32_t& needed)
{
    DWORD need = 0;
    const bool ok =
        noted(!win32::path_too_long(path) && GetFileSecurityA(path, information, descriptor, length, &need) != 0);
    needed = need;
    return ok;
}

bool Win32Security::set_file_security(const char* path, uint32_t information, const void* descriptor)
{
    return noted(!win32::path_too_long(path) && SetFileSecurityA(path, information, const_cast<void*>(descriptor)) != 0);
}

bool Win32Security::initialize_security_descriptor(void* descriptor, uint32_t revision)
{
    return noted(InitializeSecurityDescriptor(descriptor, revision) != 0);
}

bool Win32Security::get_security_descriptor_dacl(const void* descriptor, int32_t& present, void*& dacl,
                                                 int32_t& defaulted)
{
    BOOL is_present = FALSE, is_defaulted = FALSE;
    PACL list = nullptr;
    const bool ok =
        noted(GetSecurityDescriptorDacl(const_cast<void*>(descriptor), &is_present, &list, &is_defaulted) != 0);
    present = is_present;
    dacl = list;
    defaulted = is_defaulted;
    return ok;
}

bool Win32Security::set_security_descriptor_dacl(void* descriptor, int32_t present, void* dacl, int32_t defaulted)
{
    return noted(SetSecurityDescriptorDacl(descriptor, present, static_cast<PACL>(dacl), defaulted) != 0);
}

bool Win32Security::get_acl_information(const void* acl, void* information, uint32_t length, uint32_t information_class)
{
    return noted(GetAclInformation(static_cast<PACL>(const_cast<void*>(acl)), information, length,
                                   static_cast<ACL_INFORMATION_CLASS>(information_class)) != 0);
}

bool Win32Security::initialize_acl(void* acl, uint32_t length, uint32_t revision)
{
    return noted(InitializeAcl(static_cast<PACL>(acl), length, revision) != 0);
}

bool Win32Security::get_ace(const void* acl, uint32_t index, void*& ace)
{
    void* entry = nullptr;
    const bool ok = noted(GetAce(static_cast<PACL>(const_cast<void*>(acl)), index, &entry) != 0);
    ace = entry;
    return ok;
}

bool Win32Security::add_ace(void* acl, uint32_t revision, uint32_t start_index, const void* ace, uint32_t length)
{
    return noted(AddAce(static_cast<PACL>(acl), revision, start_index, const_cast<void*>(ace), length) != 0);
}

bool Win32Security::add_access_allowed_ace(void* acl, uint32_t revision, uint32_t mask, const void* sid)
{
    return noted(AddAccessAllowedAce(static_cast<PACL>(acl), revision, mask, const_cast<void*>(sid)) != 0);
}

bool Win32Security::add_access_denied_ace(void* acl, uint32_t revision, uint32_t mask, const void* sid)
{
    return noted(AddAccessDeniedAce(static_cast<PACL>(acl), revision, mask, const_cast<void*>(sid)) != 0);
}

uint32_t Win32Security::get_file_attributes(const char* path)
{
    return noted(win32::path_too_long(path) ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path));
}

}  // namespace kx::security
