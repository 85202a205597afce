#include "platform/codepage/codepage.h"
#include "platform/platform.h"
#include "security/dacl.h"
#include "security/operations.h"

namespace kx::file_security {

using namespace kx::security;

// Nothing is written before step 12, so every result from 1 to 11 leaves the file as it was.
//
// Two kinds of list are left open to us. An empty list (present, no entries) receives the
// new entry like any other: the caller asked for the right, and an empty list grants nobody
// anything. A null list (present, but no list at all) grants everybody everything; an entry
// appended to nothing would take that away from everyone else, so such a file answers 5,
// as a descriptor without a list does, and is left as it is.
int32_t setfilepermission(Platform& platform, const String& sFileName, const String& sUserName, const String& sRights)
{
    Security& security = platform.security;
    const std::string path = platform.ansi.to_ansi(sFileName);

    AccountSid account;
    if (!look_up_account(security, platform.ansi.to_ansi(sUserName), account))
        return 1;
    Buffer descriptor;
    if (!read_descriptor(security, path, descriptor))
        return 2;
    Buffer fresh(kDescriptorSize);
    if (!security.initialize_security_descriptor(fresh.data(), kSecurityDescriptorRevision))
        return 3;
    int32_t present = 0, defaulted = 0;
    void* dacl = nullptr;
    if (!security.get_security_descriptor_dacl(descriptor.data(), present, dacl, defaulted))
        return 4;
    if (!present || !dacl)
        return 5;
    records::ACL_SIZE_INFORMATION size{};
    if (!security.get_acl_information(dacl, &size, sizeof size, kAclSizeInformation))
        return 6;

    // Room for what is in use, and one entry: a 4-byte header, a 4-byte mask and the SID.
    const uint32_t list_size = static_cast<uint32_t>(size.AclBytesInUse) + 12 +
                               security.get_length_sid(account.sid.data()) - 4;
    Buffer list(list_size);
    if (!security.initialize_acl(list.data(), list_size, kAclRevision))
        return 7;
    for (uint32_t index = 0; index < static_cast<uint32_t>(size.AceCount); ++index) {
        void* ace = nullptr;
        if (!security.get_ace(dacl, index, ace))
            return 8;
        if (!security.add_ace(list.data(), kAclRevision, kAppendAce, ace, entry_size(entry_head(ace))))
            return 9;
    }

    const uint32_t mask = rights_mask(sRights, "RWXA");
    const bool added = denies(sRights) ? security.add_access_denied_ace(list.data(), kAclRevision, mask, account.sid.data())
                                       : security.add_access_allowed_ace(list.data(), kAclRevision, mask, account.sid.data());
    if (!added)
        return 10;
    if (!security.set_security_descriptor_dacl(fresh.data(), 1, list.data(), 0))
        return 11;

    // A write that fails is followed by the read-back all the same.
    int32_t result = 0;
    if (!security.set_file_security(path.c_str(), kDaclSecurityInformation, fresh.data()))
        result = 12;
    Buffer written;
    if (!read_descriptor(security, path, written))
        return 13;
    if (!security.get_security_descriptor_dacl(written.data(), present, dacl, defaulted))
        return 14;
    if (!dacl || !security.get_acl_information(dacl, &size, sizeof size, kAclSizeInformation))
        return 15;  // a null list read back has no size to tell
    return result;
}

}  // namespace kx::file_security
