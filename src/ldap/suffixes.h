// The suffix walk that listing and testing the naming suffixes share.
#pragma once

#include <functional>

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::ldap {

// Reads the suffixes of the server's configuration entry "cn=config,cn=ldbm" and judges each by
// binding its own entry with the caller's credentials: for every organisation suffix ("o=" at
// its start, in any case) whose entry does not bind, calls found, which answers whether the
// walk stops. Reaching the configuration fails the call; from the first suffix on, every
// failure is absorbed and only decides a verdict.
void walk_invalid_suffixes(Platform& platform, const String& host, const String& port, const String& user,
                           const String& password, const std::function<bool(const String& suffix)>& found);

}  // namespace kx::ldap
