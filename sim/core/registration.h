// Registration of a stand-in's class: its class identifier with this module as in-process
// server, and its ProgID; and what takes them away again.
#pragma once

#include <windows.h>

#include "core/value.h"

namespace kxsim {

using kx::String;

// A ProgID that the system registers already (Wine's own ADO, say) is taken over: the class it
// named is kept beside it and named again when the stand-in is unregistered; unregister_class
// tells whether it gave the ProgID back so.
HRESULT register_class(const CLSID& clsid, const String& progid, const wchar_t* description);
bool unregister_class(const CLSID& clsid, const String& progid);

// Writes a value under a key, creating the key; the status of the registry.
LSTATUS set_registry_value(HKEY root, const String& key, const wchar_t* name, const String& value);
// This module's file.
String module_path();
// The text form of a class identifier.
String guid_text(const GUID& guid);

}  // namespace kxsim
