// An automation object of a stand-in that callers reach by name (IDispatch), members matched
// without regard to case; and the class object that makes such objects.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <vector>

#include "object.h"

namespace kxsim {

class Dispatched : public IDispatch, public ISupportErrorInfo, private Counted
{
public:
    // source: the name failures are reported under; members: the names, in dispatch order.
    Dispatched(const wchar_t* source, std::vector<const wchar_t*> members);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
    ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override;

protected:
    // The member at an index of the names; put tells a property written from one read.
    virtual void member(std::size_t index, bool put, const Arguments& args, VARIANT& out) = 0;
    // A value written to a read-only property, or a read of a write-only one.
    [[noreturn]] static void not_here();

private:
    const wchar_t* source_;
    std::vector<const wchar_t*> members_;
};

// The class object of a stand-in class: makes a new T for each caller.
template <class T>
class ClassObject final : public IClassFactory
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the module
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        // A licensed control is created only on a machine that holds its licence.
        if constexpr (requires { T::licensed(); })
            if (!T::licensed())
                return CLASS_E_NOTLICENSED;
        T* made = new (std::nothrow) T();
        if (!made)
            return E_OUTOFMEMORY;
        const HRESULT status = made->QueryInterface(riid, object);
        made->Release();
        return status;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace kxsim
