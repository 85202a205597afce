// The simulated provider's entry points: its class object (which also parses "IIS:" display
// names for monikers), registration as the IIS: provider, and the count of live objects.
#include <windows.h>
#include <objbase.h>

#include <string>

#include "provider.h"

namespace {

// {301A9182-85F9-428D-8F42-56A8E42BD3AC}
const CLSID kNamespaceClsid = {0x301A9182, 0x85F9, 0x428D, {0x8F, 0x42, 0x56, 0xA8, 0xE4, 0x2B, 0xD3, 0xAC}};
const wchar_t kNamespaceClsidText[] = L"{301A9182-85F9-428D-8F42-56A8E42BD3AC}";

HMODULE this_module = nullptr;
std::atomic<long> locks{0};

class Factory final : public IClassFactory, public IParseDisplayName
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory))
            *object = static_cast<IClassFactory*>(this);
        else if (IsEqualIID(riid, IID_IParseDisplayName))
            *object = static_cast<IParseDisplayName*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        return outer ? CLASS_E_NOAGGREGATION : kxsim::make_namespace(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        lock ? ++locks : --locks;
        return S_OK;
    }

    // GetObject("IIS://LocalHost/W3SVC/1") in a script: a moniker for the bound object.
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, LPOLESTR name, ULONG* eaten, IMoniker** moniker) override
    {
        if (!name || !eaten || !moniker)
            return E_POINTER;
        *moniker = nullptr;
        IDispatch* object = nullptr;
        HRESULT status = kxsim::open_path(name, &object);
        if (FAILED(status))
            return status;
        status = CreatePointerMoniker(object, moniker);
        object->Release();
        if (SUCCEEDED(status))
            *eaten = static_cast<ULONG>(wcslen(name));
        return status;
    }
};

Factory factory;

LSTATUS set(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    HKEY handle = nullptr;
    LSTATUS status = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(handle);
    }
    return status;
}

const wchar_t kProvidersKey[] = L"Software\\Microsoft\\ADs\\Providers\\IIS";

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        this_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, kNamespaceClsid))
        return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(riid, object);
}

STDAPI DllCanUnloadNow() { return kxsim::live_objects == 0 && locks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(this_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return E_FAIL;
    const std::wstring clsid = std::wstring(L"CLSID\\") + kNamespaceClsidText;
    const LSTATUS results[] = {
        set(HKEY_CLASSES_ROOT, clsid, nullptr, L"Simulated IIS namespace"),
        set(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", nullptr, path),
        set(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", L"ThreadingModel", L"Both"),
        set(HKEY_CLASSES_ROOT, clsid + L"\\ProgID", nullptr, L"IIS"),
        set(HKEY_CLASSES_ROOT, L"IIS", nullptr, L"Simulated IIS namespace"),
        set(HKEY_CLASSES_ROOT, L"IIS\\CLSID", nullptr, kNamespaceClsidText),
        set(HKEY_LOCAL_MACHINE, kProvidersKey, nullptr, L"IIS"),
    };
    for (LSTATUS status : results)
        if (status != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(status);
    return S_OK;
}

STDAPI DllUnregisterServer()
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kNamespaceClsidText).c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kNamespaceClsidText).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"IIS");
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"IIS");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kProvidersKey);
    return S_OK;
}

// How many objects the provider has handed out that are still alive.
LONG WINAPI kxsim_live_objects() { return kxsim::live_objects; }

}  // extern "C"
