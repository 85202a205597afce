#include "ldap/operations.h"
#include "ldap/suffixes.h"

namespace kx::ldap {

int32_t checkldapentryexcist(Platform& platform, const String& iHost, const String& iPort, const String& iUser,
                             const String& iPassword, const String& sEntry)
{
    int32_t result = 0;
    walk_invalid_suffixes(platform, iHost, iPort, iUser, iPassword, [&](const String& suffix) {
        if (suffix != sEntry)
            return false;
        result = 1;
        return true;
    });
    return result;
}

}  // namespace kx::ldap
