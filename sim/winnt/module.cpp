// The simulated account database's provider DLL: its exports, and the count of live objects.
#include "provider.h"
#include "accounts.h"

namespace {

// {6C1F3E0A-5B7D-4C52-9A36-2E8F4D7B91C4}
const CLSID kNamespaceClsid = {0x6C1F3E0A, 0x5B7D, 0x4C52, {0x9A, 0x36, 0x2E, 0x8F, 0x4D, 0x7B, 0x91, 0xC4}};

const kxsim::winnt::Rules rules;
kxsim::Provider provider(rules, kNamespaceClsid, L"Simulated WinNT namespace");

}  // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) { return provider.class_object(clsid, riid, object); }
STDAPI DllCanUnloadNow() { return provider.can_unload(); }
STDAPI DllRegisterServer() { return provider.register_server(); }
STDAPI DllUnregisterServer() { return provider.unregister_server(); }

LONG WINAPI kxsim_live_objects() { return kxsim::live_objects; }

}  // extern "C"
