#include "object.h"

#include "core/convert.h"
#include "platform/com/com.h"

namespace kxsim {

std::atomic<long> live_objects{0};

HRESULT report(HRESULT status, const String& description, const wchar_t* source)
{
    kx::com::ComPtr<ICreateErrorInfo> created;
    if (SUCCEEDED(CreateErrorInfo(&created))) {
        created->SetDescription(const_cast<LPOLESTR>(description.c_str()));
        created->SetSource(const_cast<LPOLESTR>(source));
        kx::com::ComPtr<IErrorInfo> info;
        if (SUCCEEDED(created.As(&info)))
            SetErrorInfo(0, info.Get());
    }
    return status;
}

HRESULT invoke_status(HRESULT status, EXCEPINFO* exception, const wchar_t* source)
{
    if (SUCCEEDED(status) || status == DISP_E_MEMBERNOTFOUND || status == DISP_E_BADPARAMCOUNT ||
        status == DISP_E_UNKNOWNNAME)
        return status;
    if (exception) {
        *exception = EXCEPINFO{};
        exception->scode = status;
        exception->bstrSource = SysAllocString(source);
        kx::com::ComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, &info) == S_OK && info)
            info->GetDescription(&exception->bstrDescription);
    }
    return DISP_E_EXCEPTION;
}

const VARIANT& Arguments::operator[](UINT i) const
{
    const VARIANT* v = &params_.rgvarg[params_.cArgs - 1 - i];
    while (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v))
        v = V_VARIANTREF(v);
    return *v;
}

Variant Arguments::value(UINT i) const { return kx::com::to_variant((*this)[i]); }

String Arguments::text(UINT i) const { return kx::to_text(value(i)); }

void Arguments::expect(UINT n) const
{
    if (params_.cArgs != n)
        throw SimError{DISP_E_BADPARAMCOUNT, L"Invalid number of parameters."};
}

void give(VARIANT& out, IUnknown* object, VARTYPE type)
{
    VariantClear(&out);
    V_VT(&out) = type;
    V_UNKNOWN(&out) = object;
}

void give(VARIANT& out, const Variant& value)
{
    VariantClear(&out);
    kx::com::from_variant(value, out);
}

}  // namespace kxsim
