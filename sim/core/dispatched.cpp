#include "dispatched.h"

#include "core/text.h"
#include "platform/com/com.h"

namespace kxsim {

Dispatched::Dispatched(const wchar_t* source, std::vector<const wchar_t*> members)
    : source_(source), members_(std::move(members))
{
}

HRESULT STDMETHODCALLTYPE Dispatched::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch))
        *object = static_cast<IDispatch*>(this);
    else if (IsEqualIID(riid, IID_ISupportErrorInfo))
        *object = static_cast<ISupportErrorInfo*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Dispatched::GetTypeInfoCount(UINT* count) { return no_type_information(count); }

HRESULT STDMETHODCALLTYPE Dispatched::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (!names || !ids || count == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    for (std::size_t i = 0; i < members_.size(); ++i)
        if (names[0] && kx::equal_ignoring_case(names[0], members_[i])) {
            ids[0] = static_cast<DISPID>(i + 1);
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    return DISP_E_UNKNOWNNAME;
}

HRESULT STDMETHODCALLTYPE Dispatched::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                             EXCEPINFO* exception, UINT*)
{
    if (id < 1 || static_cast<std::size_t>(id) > members_.size())
        return DISP_E_MEMBERNOTFOUND;
    const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    return invoke_call(source_, params, result, exception, [&](const Arguments& args, VARIANT& out) {
        member(static_cast<std::size_t>(id - 1), put, args, out);
    });
}

void Dispatched::not_here() { throw SimError{DISP_E_MEMBERNOTFOUND, L"Member not found."}; }

}  // namespace kxsim
