// A simulated directory provider as a COM server: its class object (which also parses the
// namespace's display names, so that a script's GetObject("IIS://...") reaches it), and its
// registration as the namespace's ADSI provider. Each provider DLL forwards its exports here.
#pragma once

#include <windows.h>

#include "directory.h"

namespace kxsim {

class Provider
{
public:
    Provider(const Rules& rules, const CLSID& clsid, const wchar_t* description);

    HRESULT class_object(REFCLSID clsid, REFIID riid, void** object);
    HRESULT can_unload() const;
    // Writes the class, the namespace's ProgID and the ADSI provider key; removes them again.
    HRESULT register_server() const;
    HRESULT unregister_server() const;

private:
    class Factory;
    const Rules& rules_;
    CLSID clsid_;
    const wchar_t* description_;
};

// Writes a value under a key, creating the key; the status of the registry.
LSTATUS set_registry_value(HKEY root, const String& key, const wchar_t* name, const String& value);
// This module's file.
String module_path();
// The text form of a class identifier.
String guid_text(const GUID& guid);

}  // namespace kxsim
