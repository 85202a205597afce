#include "provider.h"

#include <objbase.h>

#include "platform/win32/handle.h"

namespace kxsim {

std::atomic<long> locks{0};

class Provider::Factory final : public IClassFactory, public IParseDisplayName
{
public:
    explicit Factory(const Rules& rules) : rules_(rules) {}

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
    // The class object lives as long as the module.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        return outer ? CLASS_E_NOAGGREGATION : make_namespace(rules_, riid, object);
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
        HRESULT status = open_path(rules_, name, &object);
        if (FAILED(status))
            return status;
        status = CreatePointerMoniker(object, moniker);
        object->Release();
        if (SUCCEEDED(status))
            *eaten = static_cast<ULONG>(wcslen(name));
        return status;
    }

private:
    const Rules& rules_;
};

Provider::Provider(const Rules& rules, const CLSID& clsid, const wchar_t* description)
    : rules_(rules), clsid_(clsid), description_(description)
{
}

HRESULT Provider::class_object(REFCLSID clsid, REFIID riid, void** object)
{
    static Factory factory(rules_);
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, clsid_))
        return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(riid, object);
}

HRESULT Provider::can_unload() const { return live_objects == 0 && locks == 0 ? S_OK : S_FALSE; }

HRESULT Provider::register_server() const
{
    const String clsid = guid_text(clsid_), key = L"CLSID\\" + clsid, scheme = rules_.scheme();
    const LSTATUS results[] = {
        set_registry_value(HKEY_CLASSES_ROOT, key, nullptr, description_),
        set_registry_value(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr, module_path()),
        set_registry_value(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", L"Both"),
        set_registry_value(HKEY_CLASSES_ROOT, key + L"\\ProgID", nullptr, scheme),
        set_registry_value(HKEY_CLASSES_ROOT, scheme, nullptr, description_),
        set_registry_value(HKEY_CLASSES_ROOT, scheme + L"\\CLSID", nullptr, clsid),
        set_registry_value(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\ADs\\Providers\\" + scheme, nullptr, scheme),
    };
    for (LSTATUS status : results)
        if (status != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(status);
    return S_OK;
}

HRESULT Provider::unregister_server() const
{
    const String scheme = rules_.scheme();
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guid_text(clsid_)).c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guid_text(clsid_)).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, scheme.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, scheme.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, (L"Software\\Microsoft\\ADs\\Providers\\" + scheme).c_str());
    return S_OK;
}

LSTATUS set_registry_value(HKEY root, const String& key, const wchar_t* name, const String& value)
{
    kx::win32::RegistryKey handle;
    LSTATUS status = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, handle.out(), nullptr);
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return status;
}

String module_path()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&module_path), &self);
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    return String(path, length < MAX_PATH ? length : 0);
}

String guid_text(const GUID& guid)
{
    wchar_t text[40];
    return StringFromGUID2(guid, text, 40) ? String(text) : String();
}

}  // namespace kxsim
