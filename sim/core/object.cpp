#include "object.h"

#include "core/convert.h"
#include "core/text.h"
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

HRESULT no_type_information(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT give_text(BSTR* out, const String& value)
{
    if (!out)
        return E_POINTER;
    *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

DISPID PropertyIds::property_id(const String& name)
{
    std::size_t i = 0;
    while (i < names_.size() && !kx::equal_ignoring_case(names_[i], name))
        ++i;
    if (i == names_.size())
        names_.push_back(name);
    return static_cast<DISPID>(kFirstProperty + i);
}

const String* PropertyIds::name_of(DISPID id) const
{
    if (id < kFirstProperty || static_cast<std::size_t>(id - kFirstProperty) >= names_.size())
        return nullptr;
    return &names_[static_cast<std::size_t>(id - kFirstProperty)];
}

DISPID member_in(const std::pair<const wchar_t*, DISPID>* members, std::size_t count, const String& name)
{
    for (std::size_t i = 0; i < count; ++i)
        if (kx::equal_ignoring_case(name, members[i].first))
            return members[i].second;
    return DISPID_UNKNOWN;
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
