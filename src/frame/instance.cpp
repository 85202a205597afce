#include "frame/instance.h"

#include <algorithm>
#include <cwctype>
#include <vector>

#include "frame/call.h"
#include "platform/com/com.h"

namespace kx::frame {
namespace {

using catalogue::Type;
using com::ComPtr;

constexpr DISPID kFirstDispid = 0x60030000;

bool same_name(const wchar_t* wide, const char* narrow)
{
    for (; *wide && *narrow; ++wide, ++narrow)
        if (*wide > 0x7F || std::towlower(*wide) != std::towlower(static_cast<unsigned char>(*narrow)))
            return false;
    return *wide == 0 && *narrow == 0;
}

// --- early binding -------------------------------------------------------------------

Value read_early(const EarlyArg& arg)
{
    switch (arg.type) {
    case Type::Bstr:
        if (!arg.byref)
            return com::to_string(arg.text);
        if (!arg.text_ref)
            throw Failure(E_POINTER, L"Invalid pointer");
        return com::to_string(*arg.text_ref);
    case Type::Long:
        if (!arg.byref)
            return int32_t(arg.number);
        if (!arg.number_ref)
            throw Failure(E_POINTER, L"Invalid pointer");
        return int32_t(*arg.number_ref);
    case Type::Variant: {
        const VARIANT* v = arg.byref ? arg.variant_ref : arg.variant;
        if (!v)
            throw Failure(E_POINTER, L"Invalid pointer");
        return com::to_variant(*v);
    }
    default: break;
    }
    throw Failure(E_UNEXPECTED, L"Unexpected parameter type");
}

void write_early(EarlyArg& arg, const Value& value)
{
    switch (arg.type) {
    case Type::Bstr: {
        BSTR text = com::make_bstr(std::get<String>(value));
        SysFreeString(*arg.text_ref);
        *arg.text_ref = text;
        break;
    }
    case Type::Long: *arg.number_ref = std::get<int32_t>(value); break;
    case Type::Variant: {
        VARIANT fresh;
        com::from_variant(std::get<Variant>(value), fresh);
        VariantClear(arg.variant_ref);
        *arg.variant_ref = fresh;
        break;
    }
    default: break;
    }
}

void clear_early_result(const EarlyResult& result)
{
    switch (result.type) {
    case Type::Long: *static_cast<long*>(result.target) = 0; break;
    case Type::Bstr: *static_cast<BSTR*>(result.target) = nullptr; break;
    case Type::Variant: VariantInit(static_cast<VARIANT*>(result.target)); break;
    case Type::StringArray: *static_cast<SAFEARRAY**>(result.target) = nullptr; break;
    case Type::None: break;
    }
}

void store_early_result(const EarlyResult& result, const Value& value)
{
    switch (result.type) {
    case Type::Long: *static_cast<long*>(result.target) = std::get<int32_t>(value); break;
    case Type::Bstr: *static_cast<BSTR*>(result.target) = com::make_bstr(std::get<String>(value)); break;
    case Type::Variant: com::from_variant(std::get<Variant>(value), *static_cast<VARIANT*>(result.target)); break;
    case Type::StringArray:
        *static_cast<SAFEARRAY**>(result.target) = com::make_string_array(std::get<StringArray>(value));
        break;
    case Type::None: break;
    }
}

// --- late binding --------------------------------------------------------------------

// A script passes a variable as a reference to a variant, a literal as a plain value; a
// compiled client may pass a typed reference. All three are read the same way.
const VARIANT& dereferenced(const VARIANT& arg)
{
    const VARIANT* v = &arg;
    while (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v))
        v = V_VARIANTREF(v);
    return *v;
}

Value read_late(const VARIANT& arg, Type type)
{
    const VARIANT& v = dereferenced(arg);
    if (type == Type::Variant)
        return com::to_variant(v);
    if (type == Type::Bstr) {
        if (V_VT(&v) == VT_BSTR)
            return com::to_string(V_BSTR(&v));
        if (V_VT(&v) == (VT_BYREF | VT_BSTR))
            return com::to_string(*V_BSTRREF(&v));
        if (V_VT(&v) == VT_EMPTY)
            return String();
    }
    if (type == Type::Long) {
        if (V_VT(&v) == VT_I4)
            return int32_t(V_I4(&v));
        if (V_VT(&v) == (VT_BYREF | VT_I4))
            return int32_t(*V_I4REF(&v));
    }
    com::VariantHolder converted;
    HRESULT status = VariantChangeType(converted.out(), const_cast<VARIANT*>(&v), 0, type == Type::Bstr ? VT_BSTR : VT_I4);
    if (FAILED(status))
        throw Failure(status == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH, L"");
    if (type == Type::Bstr)
        return com::to_string(V_BSTR(&converted.get()));
    return int32_t(V_I4(&converted.get()));
}

void to_automation(const Value& value, VARIANT& out)
{
    VariantInit(&out);
    if (const String* text = std::get_if<String>(&value)) {
        V_BSTR(&out) = com::make_bstr(*text);
        V_VT(&out) = VT_BSTR;
    } else if (const int32_t* number = std::get_if<int32_t>(&value)) {
        V_I4(&out) = *number;
        V_VT(&out) = VT_I4;
    } else if (const Variant* variant = std::get_if<Variant>(&value)) {
        com::from_variant(*variant, out);
    } else if (const StringArray* array = std::get_if<StringArray>(&value)) {
        V_ARRAY(&out) = com::make_string_array(*array);  // an unallocated array stays null
        V_VT(&out) = VT_ARRAY | VT_BSTR;
    }
}

// Hands what the operation wrote back to the caller's reference, of whatever kind it is.
void write_late(VARIANT& arg, const Value& value)
{
    if (!(V_VT(&arg) & VT_BYREF))
        return;  // a plain value: nothing to write into
    com::VariantHolder fresh;
    to_automation(value, fresh.get());
    if (V_VT(&arg) == (VT_BYREF | VT_VARIANT)) {
        VARIANT* target = V_VARIANTREF(&arg);
        while (V_VT(target) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(target))
            target = V_VARIANTREF(target);
        if (V_VT(target) & VT_BYREF) {
            write_late(*target, value);
            return;
        }
        VariantClear(target);
        *target = fresh.release();
        return;
    }
    const VARTYPE wanted = V_VT(&arg) & ~VT_BYREF;
    com::VariantHolder typed;
    if (FAILED(VariantChangeType(typed.out(), &fresh.get(), 0, wanted)))
        return;  // the caller's variable cannot hold the value
    switch (wanted) {
    case VT_BSTR:
        SysFreeString(*V_BSTRREF(&arg));
        *V_BSTRREF(&arg) = V_BSTR(&typed.get());
        V_VT(&typed.get()) = VT_EMPTY;
        break;
    case VT_I4: *V_I4REF(&arg) = V_I4(&typed.get()); break;
    case VT_I2: *V_I2REF(&arg) = V_I2(&typed.get()); break;
    case VT_R8: *V_R8REF(&arg) = V_R8(&typed.get()); break;
    case VT_BOOL: *V_BOOLREF(&arg) = V_BOOL(&typed.get()); break;
    default: break;
    }
}

void fill_exception(EXCEPINFO* exception, HRESULT status, const Failure& failure, const catalogue::Class& cls)
{
    if (!exception)
        return;
    *exception = EXCEPINFO{};
    const std::string source = std::string("Kestrix.") + cls.name;
    exception->bstrSource = SysAllocStringLen(nullptr, static_cast<UINT>(source.size()));
    if (exception->bstrSource)
        std::copy(source.begin(), source.end(), exception->bstrSource);
    exception->bstrDescription =
        SysAllocStringLen(failure.description().data(), static_cast<UINT>(failure.description().size()));
    exception->scode = status;
}

}  // namespace

InstanceCore::InstanceCore(std::size_t class_index)
    : class_(catalogue::library().classes[class_index]), ids_(class_ids(class_index))
{
}

HRESULT InstanceCore::query(REFIID riid, void** object, IUnknown* self, IUnknown* error_info_face)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, ids_.iid))
        *object = self;
    else if (IsEqualIID(riid, IID_ISupportErrorInfo))
        *object = error_info_face;
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*object)->AddRef();
    return S_OK;
}

HRESULT InstanceCore::call_early(std::size_t member_index, std::span<EarlyArg> args, EarlyResult result)
{
    const catalogue::Member& member = class_.members[member_index];
    if (result.type != Type::None && !result.target)
        return E_POINTER;
    clear_early_result(result);
    try {
        std::vector<Value> values;
        for (const EarlyArg& arg : args)
            values.push_back(read_early(arg));
        const std::vector<Value> before = values;
        Outcome outcome = execute(class_, member, values);
        for (std::size_t i = 0; i < args.size(); ++i)
            if (args[i].byref && values[i] != before[i])
                write_early(args[i], values[i]);
        if (outcome.failure)
            return report(*outcome.failure, class_, ids_.iid);
        store_early_result(result, outcome.result);
        return S_OK;
    } catch (const Failure& failure) {
        return report(failure, class_, ids_.iid);
    } catch (const std::bad_alloc&) {
        return report(Failure(E_OUTOFMEMORY, L"Out of memory"), class_, ids_.iid);
    }
}

HRESULT InstanceCore::type_info(UINT index, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    ComPtr<ITypeLib> library;
    HRESULT status = LoadTypeLibEx(module_path().c_str(), REGKIND_NONE, &library);
    if (FAILED(status))
        return status;
    return library->GetTypeInfoOfGuid(ids_.iid, info);
}

HRESULT InstanceCore::ids_of_names(LPOLESTR* names, UINT count, DISPID* ids)
{
    if (!names || !ids)
        return E_POINTER;
    if (count == 0)
        return S_OK;
    std::fill(ids, ids + count, DISPID_UNKNOWN);
    const catalogue::Member* member = nullptr;
    for (const catalogue::Member& candidate : class_.members)
        if (names[0] && same_name(names[0], candidate.name))
            member = &candidate;
    if (!member)
        return DISP_E_UNKNOWNNAME;
    ids[0] = member->dispid;
    HRESULT status = S_OK;
    for (UINT n = 1; n < count; ++n) {
        for (std::size_t p = 0; p < member->params.size(); ++p)
            if (names[n] && same_name(names[n], member->params[p].name))
                ids[n] = static_cast<DISPID>(p);
        if (ids[n] == DISPID_UNKNOWN)
            status = DISP_E_UNKNOWNNAME;
    }
    return status;
}

HRESULT InstanceCore::invoke(DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT* bad_argument)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    const DISPID index = id - kFirstDispid;
    if (index < 0 || static_cast<std::size_t>(index) >= class_.members.size())
        return DISP_E_MEMBERNOTFOUND;
    const catalogue::Member& member = class_.members[index];
    if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)))
        return DISP_E_MEMBERNOTFOUND;
    if (!params)
        return E_INVALIDARG;
    if (params->cNamedArgs != 0)
        return DISP_E_NONAMEDARGS;
    if (params->cArgs != member.params.size())
        return DISP_E_BADPARAMCOUNT;
    if (result)
        VariantInit(result);

    try {
        // Arguments arrive last first.
        const UINT count = params->cArgs;
        std::vector<Value> values;
        for (UINT i = 0; i < count; ++i) {
            try {
                values.push_back(read_late(params->rgvarg[count - 1 - i], member.params[i].type));
            } catch (const Failure& failure) {
                if (bad_argument)
                    *bad_argument = count - 1 - i;
                return failure.status() == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
            }
        }
        const std::vector<Value> before = values;
        Outcome outcome = execute(class_, member, values);
        for (UINT i = 0; i < count; ++i)
            if (member.params[i].byref && values[i] != before[i])
                write_late(params->rgvarg[count - 1 - i], values[i]);
        if (outcome.failure) {
            const HRESULT status = report(*outcome.failure, class_, ids_.iid);
            fill_exception(exception, status, *outcome.failure, class_);
            return DISP_E_EXCEPTION;
        }
        if (result)
            to_automation(outcome.result, *result);
        return S_OK;
    } catch (const Failure& failure) {
        const HRESULT status = report(failure, class_, ids_.iid);
        fill_exception(exception, status, failure, class_);
        return DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT InstanceCore::supports_error_info(REFIID riid)
{
    return IsEqualIID(riid, ids_.iid) || IsEqualIID(riid, IID_IDispatch) ? S_OK : S_FALSE;
}

}  // namespace kx::frame
