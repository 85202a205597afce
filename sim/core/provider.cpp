#include "provider.h"

#include <objbase.h>

#include <utility>

#include "registration.h"

namespace kxsim {

std::atomic<long> locks{0};

class Provider::Factory final : public IClassFactory, public IParseDisplayName
{
public:
    explicit Factory(const Provider& provider) : provider_(provider) {}

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
        return outer ? CLASS_E_NOAGGREGATION : provider_.make_namespace_(riid, object);
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
        // The namespace itself ("IIS:"), or an object in it ("IIS://LocalHost/W3SVC").
        HRESULT status = _wcsicmp(name, (String(provider_.scheme_) + L":").c_str()) == 0
                             ? provider_.make_namespace_(IID_IDispatch, reinterpret_cast<void**>(&object))
                             : provider_.open_(name, &object);
        if (FAILED(status))
            return status;
        status = CreatePointerMoniker(object, moniker);
        object->Release();
        if (SUCCEEDED(status))
            *eaten = static_cast<ULONG>(wcslen(name));
        return status;
    }

private:
    const Provider& provider_;
};

Provider::Provider(const wchar_t* scheme, const CLSID& clsid, const wchar_t* description,
                   NamespaceMaker make_namespace, PathOpener open)
    : scheme_(scheme), clsid_(clsid), description_(description), make_namespace_(std::move(make_namespace)),
      open_(std::move(open))
{
}

Provider::Provider(const Rules& rules, const CLSID& clsid, const wchar_t* description)
    : Provider(
          rules.scheme(), clsid, description,
          [&rules](REFIID riid, void** object) { return make_namespace(rules, riid, object); },
          [&rules](const wchar_t* name, IDispatch** object) { return open_path(rules, name, object); })
{
}

HRESULT Provider::class_object(REFCLSID clsid, REFIID riid, void** object)
{
    static Factory factory(*this);
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
    const String scheme = scheme_;
    const HRESULT status = register_class(clsid_, scheme, description_);
    if (FAILED(status))
        return status;
    const LSTATUS provider =
        set_registry_value(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\ADs\\Providers\\" + scheme, nullptr, scheme);
    return provider == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(provider);
}

HRESULT Provider::unregister_server() const
{
    const String scheme = scheme_;
    if (!unregister_class(clsid_, scheme))
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, (L"Software\\Microsoft\\ADs\\Providers\\" + scheme).c_str());
    return S_OK;
}

}  // namespace kxsim
