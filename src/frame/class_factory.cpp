#include "frame/class_factory.h"

#include <new>

#include "frame/instance.h"
#include "frame/module.h"

namespace kx::frame {

ClassFactory::ClassFactory(std::size_t class_index) : class_index_(class_index) { object_created(); }

ClassFactory::~ClassFactory() { object_destroyed(); }

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

ULONG ClassFactory::AddRef() { return InterlockedIncrement(&references_); }

ULONG ClassFactory::Release()
{
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0)
        delete this;
    return left;
}

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
