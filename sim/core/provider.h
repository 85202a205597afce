// A simulated directory provider as a COM server: its class object (which also parses the
// namespace's display names, so that a script's GetObject("IIS://...") reaches it), and its
// registration as the namespace's ADSI provider. A provider DLL defines module_provider() and
// takes its exports from provider_exports.cpp.
#pragma once

#include <windows.h>

#include <functional>

#include "directory.h"

namespace kxsim {

class Provider
{
public:
    // Makes the namespace object ("IIS:") with one reference, as the interface asked for.
    using NamespaceMaker = std::function<HRESULT(REFIID riid, void** object)>;
    // Opens the object at a display name ("IIS://LocalHost/W3SVC/1") with one reference.
    using PathOpener = std::function<HRESULT(const wchar_t* name, IDispatch** object)>;

    Provider(const wchar_t* scheme, const CLSID& clsid, const wchar_t* description, NamespaceMaker make_namespace,
             PathOpener open);
    // A namespace of the shared directory core.
    Provider(const Rules& rules, const CLSID& clsid, const wchar_t* description);

    HRESULT class_object(REFCLSID clsid, REFIID riid, void** object);
    HRESULT can_unload() const;
    // Writes the class, the namespace's ProgID and the ADSI provider key. Unregistering
    // removes them again, or gives the namespace back to the provider this one replaced.
    HRESULT register_server() const;
    HRESULT unregister_server() const;

private:
    class Factory;
    const wchar_t* scheme_;
    CLSID clsid_;
    const wchar_t* description_;
    NamespaceMaker make_namespace_;
    PathOpener open_;
};

// The provider of this DLL.
Provider& module_provider();

}  // namespace kxsim
