#include <memory>

#include "platform/codepage/codepage.h"
#include "platform/files/files.h"
#include "platform/platform.h"
#include "platform/ui/ui.h"
#include "security/dacl.h"
#include "security/operations.h"

namespace kx::file_security {

using namespace kx::security;

namespace {

constexpr uint8_t kFilesInsideOnly = 9;      // OBJECT_INHERIT_ACE + INHERIT_ONLY_ACE
constexpr uint8_t kFolderAndSubfolders = 2;  // CONTAINER_INHERIT_ACE

// Whether the SID that starts at byte 8 of an entry (after its header and mask) is the
// account's. Only a SID that lies wholly inside the entry is read.
bool entry_of(Security& security, const void* ace, const records::ACCESS_ALLOWED_ACE& head, const void* sid)
{
    const auto* bytes = static_cast<const uint8_t*>(ace);
    const uint32_t size = entry_size(head);
    if (size < 8 + 8 || 8 + 8 + 4u * bytes[8 + 1] > size)  // revision, count, authority, sub-authorities
        return false;
    return security.equal_sid(sid, bytes + 8);
}

// Sets the flags of the new list's entry at an index; false when it cannot be read.
bool set_flags(Security& security, void* list, uint32_t index, uint8_t flags)
{
    void* ace = nullptr;
    if (!security.get_ace(list, index, ace))
        return false;
    records::ACCESS_ALLOWED_ACE head = entry_head(ace);
    head.Header.AceFlags = flags;
    set_entry_head(ace, head);
    return true;
}

}  // namespace

// As setfilepermission, but the account's entries are replaced, not added beside, and a
// folder gets a pair of inheritable entries. Every failing step shows its message and ends
// the call with the file unchanged. The null and the empty list are treated as there.
void SetAccess(Platform& platform, const String& sUserName, const String& sFileName, const String& sRights)
{
    Security& security = platform.security;
    auto tell = [&](const String& text) { platform.ui.message_box(text); };
    auto unreadable_entry = [&](uint32_t index) {
        tell(L"Error: Unable to Obtain ACE (" + std::to_wstring(index) + L")");
    };
    const std::string path = platform.ansi.to_ansi(sFileName);

    AccountSid account;
    if (!look_up_account(security, platform.ansi.to_ansi(sUserName), account))
        return tell(L"Error: Unable to Lookup the Current User Account: " + sUserName);
    Buffer descriptor;
    if (!read_descriptor(security, path, descriptor))
        return tell(L"Error: Unable to Get the File Security Descriptor");
    Buffer fresh(kDescriptorSize);
    if (!security.initialize_security_descriptor(fresh.data(), kSecurityDescriptorRevision))
        return tell(L"Error: Unable to Initialize New Security Descriptor");
    int32_t present = 0, defaulted = 0;
    void* dacl = nullptr;
    if (!security.get_security_descriptor_dacl(descriptor.data(), present, dacl, defaulted))
        return tell(L"Error: Unable to Get DACL from File Security Descriptor");
    if (!present || !dacl)
        return tell(L"Error: No ACL Information Available for this File");
    records::ACL_SIZE_INFORMATION size{};
    if (!security.get_acl_information(dacl, &size, sizeof size, kAclSizeInformation))
        return tell(L"Error: Unable to Get ACL from File Security Descriptor");

    // Room for what is in use and two more entries of header, mask and SID.
    const uint32_t sid_length = security.get_length_sid(account.sid.data());
    const uint32_t list_size = 2 * (sid_length + 12) + static_cast<uint32_t>(size.AclBytesInUse) - 4;
    Buffer list(list_size);
    if (!security.initialize_acl(list.data(), list_size, kAclRevision))
        return tell(L"Error: Unable to Initialize New ACL");
    uint32_t copied = 0;
    for (uint32_t index = 0; index < static_cast<uint32_t>(size.AceCount); ++index) {
        void* ace = nullptr;
        if (!security.get_ace(dacl, index, ace))
            return unreadable_entry(index);
        const records::ACCESS_ALLOWED_ACE head = entry_head(ace);
        if (entry_of(security, ace, head, account.sid.data()))
            continue;  // the account's own entries go, inherited ones included
        if (!security.add_ace(list.data(), kAclRevision, kAppendAce, ace, entry_size(head)))
            return tell(L"Error: Unable to Add ACE to New ACL");
        ++copied;
    }

    const uint32_t mask = rights_mask(sRights, "RWXDA");
    auto add_entry = [&] {
        return denies(sRights) ? security.add_access_denied_ace(list.data(), kAclRevision, mask, account.sid.data())
                               : security.add_access_allowed_ace(list.data(), kAclRevision, mask, account.sid.data());
    };
    if (!add_entry())
        return tell(L"Error: Unable to Add ACL to DACL");
    // A path whose attributes cannot be read is taken for a file.
    const uint32_t attributes = security.get_file_attributes(path.c_str());
    if (attributes != kInvalidAttributes && (attributes & kDirectoryAttribute)) {
        if (!set_flags(security, list.data(), copied, kFilesInsideOnly))
            return unreadable_entry(copied);
        if (!add_entry())
            return tell(L"Error: Unable to Add ACL to DACL");
        if (!set_flags(security, list.data(), copied + 1, kFolderAndSubfolders))
            return unreadable_entry(copied + 1);
    }
    if (!security.set_security_descriptor_dacl(fresh.data(), 1, list.data(), 0))
        return tell(L"Error: Unable to Set New DACL to Security Descriptor");
    if (!security.set_file_security(path.c_str(), kDaclSecurityInformation, fresh.data())) {
        const uint32_t error = security.last_error();
        tell(L"Error: Unable to Set New Security Descriptor  to File : " + sFileName);
        tell(std::to_wstring(error));
    }
}

// The walk traps nothing: a folder that cannot be had or listed fails the call, and the
// folders edited before it keep their entries.
Variant SetDirAcces(Platform& platform, const String& i_sSourceLocation, const String& sUserName, const String& sRights)
{
    const auto files = platform.files.create();
    for (const String& name : files->get_folder(i_sSourceLocation)->subfolder_names()) {
        const String path = i_sSourceLocation + L"\\" + name;
        SetDirAcces(platform, path, sUserName, sRights);
        SetAccess(platform, sUserName, path, sRights);
    }
    return Variant();
}

// lInheritance 0 takes in every folder below; any other value the named folder alone.
int32_t setdirectorypermission(Platform& platform, const String& sFolderName, const String& sUserName,
                               const String& sPermission, const int32_t& lInheritance)
{
    SetAccess(platform, sUserName, sFolderName, sPermission);
    if (lInheritance == 0)
        SetDirAcces(platform, sFolderName, sUserName, sPermission);
    return 0;
}

}  // namespace kx::file_security
