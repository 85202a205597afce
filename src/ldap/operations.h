// The directory server operations: a logon check, the naming suffixes without a root entry,
// and the account password stored in the directory.
#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::ldap {

// 0 when the server binds without credentials at its default port and at iPort, and with
// them at iPort; 3 when any of those fails.
int32_t checkldapserver(Platform& platform, const String& iHost, const String& iPort, const String& iUser,
                        const String& iPassword);

// The organisation suffixes ("o=...") whose root entry cannot be bound, from index 1 (element
// 0 empty); unallocated when there is none.
StringArray getldapentries(Platform& platform, const String& iHost, const String& iPort, const String& iUser,
                           const String& iPassword);
// 1 when sEntry, exactly, is such a suffix; else 0.
int32_t checkldapentryexcist(Platform& platform, const String& iHost, const String& iPort, const String& iUser,
                             const String& iPassword, const String& sEntry);

// 0 and pwd the value of "nvxpassword" of cn=2,ou=Accounts,o=Norvane; 1 with pwd as it was.
int32_t getntuserpassword(Platform& platform, const String& iHost, const String& iPort, const String& iUser,
                          const String& iPassword, Variant& pwd);

}  // namespace kx::ldap
