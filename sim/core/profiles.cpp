#include "profiles.h"

#include <cwctype>

#include "node_rules.h"

namespace kxsim {

const std::vector<Profile>& profiles()
{
    static const std::vector<Profile> known = {
        {L"iis6", L"a workgroup server with IIS 6 and its FTP service, no password policy, IUSR_<COMPUTER>, "
                  L"and the Winsock control licensed for 32-bit processes",
         true, true, 0, false, true},
        {L"iis10-domain", L"a domain member with IIS 10 and IIS 6 Metabase Compatibility, no IIS 6 FTP service, "
                          L"the domain's password policy (7 characters, complexity), the built-in IUSR, "
                          L"and no licence for the Winsock control",
         false, false, 7, true, false},
    };
    return known;
}

const Profile& profile_named(const String& name)
{
    for (const Profile& p : profiles())
        if (same_name(name, p.name))
            return p;
    throw SimError{static_cast<int32_t>(0x80070057), L"no server profile named " + name};
}

const Profile& profile_of(const Tree& tree)
{
    const Variant* name = tree.root.property(kServerProperty);
    return name && name->holds<String>() ? profile_named(name->as<String>()) : profiles().front();
}

// The complexity rule of Windows' "Password must meet complexity requirements": characters of
// three of the four kinds, and not the account's name when that is longer than two characters.
bool meets_policy(const Profile& profile, const String& account, const String& password)
{
    if (password.size() < static_cast<std::size_t>(profile.minimum_password_length))
        return false;
    if (!profile.password_complexity)
        return true;
    if (account.size() > 2 && kx::find_ignoring_case(password, account) != String::npos)
        return false;
    bool upper = false, lower = false, digit = false, other = false;
    for (wchar_t c : password) {
        if (std::iswupper(c))
            upper = true;
        else if (std::iswlower(c))
            lower = true;
        else if (std::iswdigit(c))
            digit = true;
        else
            other = true;
    }
    return upper + lower + digit + other >= 3;
}

}  // namespace kxsim
