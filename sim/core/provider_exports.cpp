// The exports of a provider DLL, served by the provider the DLL defines.
#include "provider.h"

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    return kxsim::module_provider().class_object(clsid, riid, object);
}
STDAPI DllCanUnloadNow() { return kxsim::module_provider().can_unload(); }
STDAPI DllRegisterServer() { return kxsim::module_provider().register_server(); }
STDAPI DllUnregisterServer() { return kxsim::module_provider().unregister_server(); }

// How many objects the provider has handed out that are still alive.
LONG WINAPI kxsim_live_objects() { return kxsim::live_objects; }

}  // extern "C"
