#include "core/failure.h"
#include "ldap/operations.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"

namespace kx::ldap {

// The value is neither decoded nor checked, and pwd is written only as the last step.
int32_t getntuserpassword(Platform& platform, const String& iHost, const String& iPort, const String& iUser,
                          const String& iPassword, Variant& pwd)
{
    Stages<int32_t> stages;
    stages.arm(1);
    return stages.run([&] {
        const auto space = platform.directory.bind(L"LDAP:");
        const auto entry = space->open_ds_object(L"LDAP://" + iHost + L":" + iPort + L"/cn=2,ou=Accounts,o=Norvane",
                                                 iUser, iPassword, 0);
        entry->get_info();
        pwd = entry->property(L"nvxpassword");
        return 0;
    });
}

}  // namespace kx::ldap
