// The web service node and its sites, as the web operations find them.
#pragma once

#include "core/value.h"
#include "platform/directory/directory.h"

namespace kx::web {

// A service node and the class of its sites.
struct Service
{
    const wchar_t* path;
    const wchar_t* site_class;
};

inline constexpr Service kWebService{L"IIS://LocalHost/W3SVC", L"IIsWebServer"};
inline constexpr Service kFtpService{L"IIS://LocalHost/MSFTPSVC", L"IIsFtpServer"};
inline constexpr wchar_t kWebServerClass[] = L"IIsWebServer";

// Binds the service node and visits every child of the service's site class, in the store's
// order, to the end of the walk.
template <class Visit>
void for_each_site(directory::Directory& directory, const Service& service, Visit&& visit)
{
    auto node = directory.bind(service.path);
    directory::for_each_child(*node, [&](directory::Object& child) {
        if (child.class_name() == service.site_class)
            visit(child);
    });
}

// Whether a site's description equals the given one, exactly.
bool described_as(directory::Object& site, const String& description);

// The number of the site enumerated last with that description; 0 for none.
int32_t site_number(directory::Directory& directory, const Service& service, const String& description);

// The first binding string of the site enumerated last with that description, or "Not Found".
String site_binding(directory::Directory& directory, const Service& service, const String& description);

// The lowest positive number that no site of the service uses, from one walk of the service
// node; past 32767 the 16-bit candidate overflows.
int32_t lowest_free_number(directory::Directory& directory, const Service& service);

// The first binding string of the site enumerated last with that description, from its
// ServerBindings or SecureBindings.
String first_binding(directory::Object& site, const wchar_t* property);

}  // namespace kx::web
