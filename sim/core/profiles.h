// The kinds of Windows server the simulated machine can be. Where real servers differ in what
// Kestrix depends on (the IIS version, whether the computer is a domain member), the
// difference is written here once, and the stand-ins read it from the store they serve.
#pragma once

#include <vector>

#include "store.h"

namespace kxsim {

struct Profile
{
    const wchar_t* name;
    const wchar_t* summary;
    bool iis6_ftp;                // the IIS 6 FTP service and its MSFTPSVC node
    bool local_anonymous_users;   // IUSR_<computer> and IWAM_<computer> are local accounts
    int minimum_password_length;  // the password policy for local accounts: 0 none
    bool password_complexity;     // three of upper case, lower case, digit, other; not the name
    bool winsock_licensed;        // the Winsock control's design-time licence is on the machine
};

const std::vector<Profile>& profiles();
// The profile of that name; a SimError for a name no profile has.
const Profile& profile_named(const String& name);
// The profile a store was made for: the root's kServerProperty, else the default.
const Profile& profile_of(const Tree& tree);

// Whether a password meets the profile's policy for an account of that name.
bool meets_policy(const Profile& profile, const String& account, const String& password);

// Where the Winsock control's design-time licence is kept, under HKEY_CLASSES_ROOT.
inline constexpr wchar_t kWinsockLicenceKey[] = L"Licenses\\A3E1B7C4-6D2F-4E8A-9B15-3C7D0E4F2A61";

// The root's record of the profile the store was made for.
inline constexpr wchar_t kServerProperty[] = L"Server";

}  // namespace kxsim
