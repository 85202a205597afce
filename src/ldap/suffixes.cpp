#include "ldap/suffixes.h"

#include "core/convert.h"
#include "core/failure.h"
#include "core/text.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"

namespace kx::ldap {

// A server that holds one suffix may give the attribute as a single value rather than a list of
// one; it is taken as a list of one.
void walk_invalid_suffixes(Platform& platform, const String& host, const String& port, const String& user,
                           const String& password, const std::function<bool(const String& suffix)>& found)
{
    const String server = L"LDAP://" + host + L":" + port;
    const auto space = platform.directory.bind(L"LDAP:");
    const auto config = space->open_ds_object(server + L"/cn=config,cn=ldbm", user, password, 0);
    config->get_info();
    const Variant values = config->get(L"nsslapd-suffix");
    const Variant::List suffixes = values.holds<Variant::List>() ? values.as<Variant::List>() : Variant::List{values};

    for (const Variant& value : suffixes) {
        bool stop = false;
        ignoring_failure([&] {
            const String suffix = to_text(value);
            std::unique_ptr<directory::Object> entry;  // nothing carries over from the suffix before
            ignoring_failure([&] { entry = space->open_ds_object(server + L"/" + suffix, user, password, 0); });
            if (entry)
                ignoring_failure([&] { entry->get_info(); });  // a valid root, whether or not it reads
            if (!entry && find_ignoring_case(suffix, L"o=") == 0)
                stop = found(suffix);
        });
        if (stop)
            return;
    }
}

}  // namespace kx::ldap
