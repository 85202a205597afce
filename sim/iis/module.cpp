// The simulated web server's provider DLL: its exports, and the count of live objects.
#include "iis.h"
#include "provider.h"

namespace {

// {301A9182-85F9-428D-8F42-56A8E42BD3AC}
const CLSID kNamespaceClsid = {0x301A9182, 0x85F9, 0x428D, {0x8F, 0x42, 0x56, 0xA8, 0xE4, 0x2B, 0xD3, 0xAC}};

const kxsim::iis::Rules rules;
kxsim::Provider provider(rules, kNamespaceClsid, L"Simulated IIS namespace");

}  // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) { return provider.class_object(clsid, riid, object); }
STDAPI DllCanUnloadNow() { return provider.can_unload(); }
STDAPI DllRegisterServer() { return provider.register_server(); }
STDAPI DllUnregisterServer() { return provider.unregister_server(); }

// How many objects the provider has handed out that are still alive.
LONG WINAPI kxsim_live_objects() { return kxsim::live_objects; }

}  // extern "C"
