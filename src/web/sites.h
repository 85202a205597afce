// The web service node and its sites, as the web operations find them.
#pragma once

#include "core/value.h"
#include "platform/directory/directory.h"

namespace kx::web {

inline constexpr wchar_t kWebServerClass[] = L"IIsWebServer";

// Binds the web service node at that spelling of its path and visits every child of class
// IIsWebServer, in the store's order, to the end of the walk.
template <class Visit>
void for_each_site(directory::Directory& directory, const String& service_path, Visit&& visit)
{
    auto service = directory.bind(service_path);
    directory::for_each_child(*service, [&](directory::Object& child) {
        if (child.class_name() == kWebServerClass)
            visit(child);
    });
}

// Whether a site's description equals the given one, exactly.
bool described_as(directory::Object& site, const String& description);

// The number of the site enumerated last with that description; 0 for none.
int32_t site_number(directory::Directory& directory, const String& description);

// The first binding string of the site enumerated last with that description, from its
// ServerBindings or SecureBindings.
String first_binding(directory::Object& site, const wchar_t* property);

}  // namespace kx::web
