// Account names from SIDs that are longer than the first buffers. Here, under the address
// sanitizer, a lookup that writes past a buffer ends the test.
#include <gtest/gtest.h>

#include <cstring>

#include "operation_test.h"
#include "security/operations.h"

namespace kx::test {
namespace {

// Answers a name of 99 and a domain of 80 characters, asking for their lengths until the
// buffers it is given say they hold them.
struct LongNames final : security::Security
{
    bool convert_string_sid_to_sid(const char*, void*& sid) override
    {
        sid = this;
        return true;
    }
    bool is_valid_sid(const void*) override { return true; }
    bool lookup_account_sid(const void*, char* name, uint32_t& name_size, char* domain, uint32_t& domain_size,
                            uint32_t&) override
    {
        const std::string n(99, 'n'), d(80, 'd');
        if (name_size <= n.size() || domain_size <= d.size()) {
            name_size = static_cast<uint32_t>(n.size() + 1);
            domain_size = static_cast<uint32_t>(d.size() + 1);
            return false;
        }
        std::memcpy(name, n.c_str(), name_size);
        std::memcpy(domain, d.c_str(), domain_size);
        return true;
    }
};

class AccountNames : public OperationTest
{
};

TEST_F(AccountNames, NamesLongerThanTheFirstBuffersGetBuffersOfTheLengthAskedFor)
{
    LongNames long_names;
    Platform longer = fake.with(long_names);
    EXPECT_EQ(file_security::getntaccountbysid(longer, L"S-1-5-1"), String(99, L'n') + L'\0');
}

}  // namespace
}  // namespace kx::test
