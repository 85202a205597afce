// The library's entry points: the load entry and the four exports of an in-process server.
#include "frame/module.h"

#include <atomic>
#include <new>

#include "frame/class_factory.h"
#include "frame/guids.h"
#include "frame/registration.h"

namespace kx::frame {
namespace {

HMODULE this_module = nullptr;
std::atomic<long> live_objects{0};
std::atomic<long> server_locks{0};

}  // namespace

HMODULE module_handle() { return this_module; }

std::wstring module_path()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(this_module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void object_created() { ++live_objects; }
void object_destroyed() { --live_objects; }
void lock_server(bool lock) { lock ? ++server_locks : --server_locks; }
bool can_unload() { return live_objects == 0 && server_locks == 0; }

}  // namespace kx::frame

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        kx::frame::this_module = instance;
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
    IClassFactory* factory = new (std::nothrow) kx::frame::ClassFactory(static_cast<std::size_t>(index));
    if (!factory)
        return E_OUTOFMEMORY;
    HRESULT status = factory->QueryInterface(riid, object);
    factory->Release();
    return status;
}

STDAPI DllCanUnloadNow() { return kx::frame::can_unload() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return kx::frame::register_server(); }

STDAPI DllUnregisterServer() { return kx::frame::unregister_server(); }

}  // extern "C"
