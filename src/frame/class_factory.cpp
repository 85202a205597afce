#include "frame/class_factory.h"

#include <new>
#include <vector>

#include "frame/catalogue.h"
#include "frame/instance.h"
#include "frame/module.h"

namespace kx::frame {

ClassFactory& class_factory(std::size_t class_index)
{
    static std::vector<ClassFactory> factories = [] {
        std::vector<ClassFactory> all;
        for (std::size_t i = 0; i < catalogue::library().classes.size(); ++i)
            all.emplace_back(i);
        return all;
    }();
    return factories.at(class_index);
}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() { return 2; }

ULONG ClassFactory::Release() { return 1; }

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    IUnknown* instance = nullptr;
    try {
        instance = make_instance(class_index_);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (!instance)
        return E_UNEXPECTED;
    HRESULT status = instance->QueryInterface(riid, object);
    instance->Release();
    return status;
}

HRESULT ClassFactory::LockServer(BOOL lock)
{
    lock_server(lock != FALSE);
    return S_OK;
}

}  // namespace kx::frame
