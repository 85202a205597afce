#include "core/failure.h"
#include "ldap/operations.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"

namespace kx::ldap {

// Each binding only has to succeed; nothing is read. The caller cannot tell which failed.
int32_t checkldapserver(Platform& platform, const String& iHost, const String& iPort, const String& iUser,
                        const String& iPassword)
{
    const String server = L"LDAP://" + iHost + L":" + iPort;
    Stages<int32_t> stages;
    stages.arm(3);
    return stages.run([&] {
        auto object = platform.directory.bind(L"LDAP://" + iHost);
        object = platform.directory.bind(server);
        object = platform.directory.bind(L"LDAP:");
        const auto entry = object->open_ds_object(server, iUser, iPassword, 0);
        return 0;
    });
}

}  // namespace kx::ldap
