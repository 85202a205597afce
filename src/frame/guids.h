// The catalogue's identifiers as GUIDs.
#pragma once

#include <windows.h>

#include "frame/catalogue.h"

namespace kx::frame {

GUID parse_guid(const char* text);  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"

struct ClassIds
{
    CLSID clsid;
    IID iid;
};

// Identifiers of the class at that index of the catalogue.
const ClassIds& class_ids(std::size_t index);
GUID library_id();

// Index of the class with that class identifier, or -1.
int class_index_of(REFCLSID clsid);

}  // namespace kx::frame
