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

}  // namespace kxsim
