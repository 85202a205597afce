// The instances of the catalogue's classes. Each class's dual interface and its members are
// generated from the catalogue; what they share - IUnknown, IDispatch, error information and
// the one call path that both binding styles take - lives here.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <span>

#include "frame/catalogue.h"
#include "frame/guids.h"
#include "frame/module.h"

namespace kx::frame {

// One argument of an early-bound call, pointing at the caller's storage.
struct EarlyArg
{
    catalogue::Type type;
    bool byref;
    union {
        BSTR text;
        BSTR* text_ref;
        long number;
        long* number_ref;
        const VARIANT* variant;
        VARIANT* variant_ref;
    };

    EarlyArg(BSTR v) : type(catalogue::Type::Bstr), byref(false), text(v) {}
    EarlyArg(BSTR* v) : type(catalogue::Type::Bstr), byref(true), text_ref(v) {}
    EarlyArg(long v) : type(catalogue::Type::Long), byref(false), number(v) {}
    EarlyArg(long* v) : type(catalogue::Type::Long), byref(true), number_ref(v) {}
    EarlyArg(const VARIANT& v) : type(catalogue::Type::Variant), byref(false), variant(&v) {}
    EarlyArg(VARIANT* v) : type(catalogue::Type::Variant), byref(true), variant_ref(v) {}
};

// The [out, retval] pointer of an early-bound call.
struct EarlyResult
{
    catalogue::Type type = catalogue::Type::None;
    void* target = nullptr;

    EarlyResult() = default;
    EarlyResult(long* p) : type(catalogue::Type::Long), target(p) {}
    EarlyResult(BSTR* p) : type(catalogue::Type::Bstr), target(p) {}
    EarlyResult(VARIANT* p) : type(catalogue::Type::Variant), target(p) {}
    EarlyResult(SAFEARRAY** p) : type(catalogue::Type::StringArray), target(p) {}
};

// What every instance does alike, for the class at one index of the catalogue.
class InstanceCore
{
protected:
    explicit InstanceCore(std::size_t class_index);

    HRESULT query(REFIID riid, void** object, IUnknown* self, IUnknown* error_info_face);
    HRESULT call_early(std::size_t member_index, std::span<EarlyArg> args, EarlyResult result);
    HRESULT type_info(UINT index, ITypeInfo** info);
    HRESULT ids_of_names(LPOLESTR* names, UINT count, DISPID* ids);
    HRESULT invoke(DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                   UINT* bad_argument);
    HRESULT supports_error_info(REFIID riid);

    const catalogue::Class& class_;
    const ClassIds& ids_;
};

template <class Interface>
class Instance : public Interface, public ISupportErrorInfo, protected InstanceCore
{
public:
    explicit Instance(std::size_t class_index) : InstanceCore(class_index) { object_created(); }
    virtual ~Instance() { object_destroyed(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        return query(riid, object, static_cast<Interface*>(this), static_cast<ISupportErrorInfo*>(this));
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override
    {
        return type_info(index, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        return IsEqualIID(riid, IID_NULL) ? ids_of_names(names, count, ids) : DISP_E_UNKNOWNINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* bad_argument) override
    {
        return invoke(id, riid, flags, params, result, exception, bad_argument);
    }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override { return supports_error_info(riid); }

private:
    LONG references_ = 1;
};

// A new instance of the class at that index, with one reference; null for no such class.
IUnknown* make_instance(std::size_t class_index);

}  // namespace kx::frame
