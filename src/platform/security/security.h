// The security functions of advapi32 and kernel32 that the file-security operations call,
// one method per function, with the values the function takes and gives. Text goes in and
// out in the system's ANSI code page. SIDs, descriptors, lists and entries are the platform's
// own bytes, which only the platform interprets. After every call last_error() tells the
// platform's last-error value as it stood right after that call.
#pragma once

#include <cstdint>

namespace kx::security {

// The base class answers every call as a platform without these functions does: it fails
// (error 120, ERROR_CALL_NOT_IMPLEMENTED) and gives nothing.
inline constexpr uint32_t kNotImplemented = 120;

class Security
{
public:
    virtual ~Security() = default;

    virtual bool lookup_account_name(const char* account, void* sid, uint32_t& sid_size, char* domain,
                                     uint32_t& domain_size, uint32_t& use) { return false; }
    virtual bool lookup_account_sid(const void* sid, char* name, uint32_t& name_size, char* domain,
                                    uint32_t& domain_size, uint32_t& use) { return false; }
    virtual bool convert_string_sid_to_sid(const char* text, void*& sid) { return false; }
    virtual bool is_valid_sid(const void* sid) { return false; }
    virtual bool equal_sid(const void* a, const void* b) { return false; }
    virtual uint32_t get_length_sid(const void* sid) { return 0; }
    // Releases a SID that convert_string_sid_to_sid gave.
    virtual void free_sid(void* sid) {}

    virtual bool get_file_security(const char* path, uint32_t information, void* descriptor, uint32_t length,
                                   uint32_t& needed) { return false; }
    virtual bool set_file_security(const char* path, uint32_t information, const void* descriptor) { return false; }
    virtual bool initialize_security_descriptor(void* descriptor, uint32_t revision) { return false; }
    virtual bool get_security_descriptor_dacl(const void* descriptor, int32_t& present, void*& dacl,
                                              int32_t& defaulted) { return false; }
    virtual bool set_security_descriptor_dacl(void* descriptor, int32_t present, void* dacl, int32_t defaulted) { return false; }

    virtual bool get_acl_information(const void* acl, void* information, uint32_t length, uint32_t information_class) { return false; }
    virtual bool initialize_acl(void* acl, uint32_t length, uint32_t revision) { return false; }
    virtual bool get_ace(const void* acl, uint32_t index, void*& ace) { return false; }
    virtual bool add_ace(void* acl, uint32_t revision, uint32_t start_index, const void* ace, uint32_t length) { return false; }
    virtual bool add_access_allowed_ace(void* acl, uint32_t revision, uint32_t mask, const void* sid) { return false; }
    virtual bool add_access_denied_ace(void* acl, uint32_t revision, uint32_t mask, const void* sid) { return false; }

    // The attributes of a file or folder; 0xFFFFFFFF when they cannot be read.
    virtual uint32_t get_file_attributes(const char* path) { return 0xFFFFFFFF; }

    virtual uint32_t last_error() { return kNotImplemented; }
};

// Values the operations pass.
inline constexpr uint32_t kDaclSecurityInformation = 4;
inline constexpr uint32_t kSecurityDescriptorRevision = 1;
inline constexpr uint32_t kAclRevision = 2;
inline constexpr uint32_t kAclSizeInformation = 2;
inline constexpr uint32_t kAppendAce = 0xFFFFFFFF;
inline constexpr uint32_t kDirectoryAttribute = 16;
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

}  // namespace kx::security
