#include "ldap/operations.h"
#include "ldap/suffixes.h"

namespace kx::ldap {

StringArray getldapentries(Platform& platform, const String& iHost, const String& iPort, const String& iUser,
                           const String& iPassword)
{
    StringArray result;  // without elements until the first suffix
    walk_invalid_suffixes(platform, iHost, iPort, iUser, iPassword, [&](const String& suffix) {
        if (!result)
            result.emplace(1, String());
        result->push_back(suffix);
        return false;
    });
    return result;
}

}  // namespace kx::ldap
