// The library's entry points: the load entry and the four exports of an in-process server.
#include <new>

#include "frame/class_factory.h"
#include "frame/guids.h"
#include "frame/module.h"
#include "frame/registration.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        kx::frame::set_module_handle(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    const int index = kx::frame::class_index_of(clsid);
    if (index < 0)
        return CLASS_E_CLASSNOTAVAILABLE;
    try {
        return kx::frame::class_factory(static_cast<std::size_t>(index)).QueryInterface(riid, object);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

STDAPI DllCanUnloadNow() { return kx::frame::can_unload() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return kx::frame::register_server(); }

STDAPI DllUnregisterServer() { return kx::frame::unregister_server(); }

}  // extern "C"
