#pragma once

#include "platform/security/security.h"

namespace kx::security {

// The functions of advapi32 and kernel32 themselves.
class Win32Security final : public Security
{
public:
    bool lookup_account_name(const char* account, void* sid, uint32_t& sid_size, char* domain, uint32_t& domain_size,
                             uint32_t& use) override;
    bool lookup_account_sid(const void* sid, char* name, uint32_t& name_size, char* domain, uint32_t& domain_size,
                            uint32_t& use) override;
    bool convert_string_sid_to_sid(const char* text, void*& sid) override;
    bool is_valid_sid(const void* sid) override;
    bool equal_sid(const void* a, const void* b) override;
    uint32_t get_length_sid(const void* sid) override;
    void free_sid(void* sid) override;
    bool get_file_security(const char* path, uint32_t information, void* descriptor, uint32_t length,
                           uint32_t& needed) override;
    bool set_file_security(const char* path, uint32_t information, const void* descriptor) override;
    bool initialize_security_descriptor(void* descriptor, uint32_t revision) override;
    bool get_security_descriptor_dacl(const void* descriptor, int32_t& present, void*& dacl,
                                      int32_t& defaulted) override;
    bool set_security_descriptor_dacl(void* descriptor, int32_t present, void* dacl, int32_t defaulted) override;
    bool get_acl_information(const void* acl, void* information, uint32_t length, uint32_t information_class) override;
    bool initialize_acl(void* acl, uint32_t length, uint32_t revision) override;
    bool get_ace(const void* acl, uint32_t index, void*& ace) override;
    bool add_ace(void* acl, uint32_t revision, uint32_t start_index, const void* ace, uint32_t length) override;
    bool add_access_allowed_ace(void* acl, uint32_t revision, uint32_t mask, const void* sid) override;
    bool add_access_denied_ace(void* acl, uint32_t revision, uint32_t mask, const void* sid) override;
    uint32_t get_file_attributes(const char* path) override;
    uint32_t last_error() override { return last_error_; }

private:
    // Keeps the last-error value of the call just made.
    template <class R>
    R noted(R result);

    uint32_t last_error_ = 0;
};

}  // namespace kx::security
