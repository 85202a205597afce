#include "platform/com/com.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <new>

namespace kx::com {

Bstr::Bstr(const String& text) : bstr_(make_bstr(text)) {}

Bstr& Bstr::operator=(Bstr&& other) noexcept
{
    if (this != &other) {
        SysFreeString(bstr_);
        bstr_ = std::exchange(other.bstr_, nullptr);
    }
    return *this;
}

BSTR* Bstr::out()
{
    SysFreeString(std::exchange(bstr_, nullptr));
    return &bstr_;
}

VARIANT* VariantHolder::out()
{
    VariantClear(&v_);
    return &v_;
}

VARIANT VariantHolder::release()
{
    VARIANT v = v_;
    VariantInit(&v_);
    return v;
}

String to_string(BSTR text)
{
    if (!text)
        return {};
    return String(text, SysStringLen(text));
}

BSTR make_bstr(const String& text)
{
    if (text.size() > std::numeric_limits<UINT>::max() / 4)
        throw Failure(E_OUTOFMEMORY, L"Out of memory");
    BSTR result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!result)
        throw Failure(E_OUTOFMEMORY, L"Out of memory");
    return result;
}

namespace {

Variant element_to_variant(SAFEARRAY* array, VARTYPE type, LONG index)
{
    VariantHolder element;
    if (type == VT_VARIANT) {
        check(SafeArrayGetElement(array, &index, element.out()));
    } else if (type == VT_BSTR) {
        BSTR text = nullptr;
        check(SafeArrayGetElement(array, &index, &text));
        element.get().vt = VT_BSTR;
        element.get().bstrVal = text;
    } else {
        // Scalars: read into a variant of the element type, where one fits.
        if (SafeArrayGetElemsize(array) > sizeof(LONGLONG))
            throw runtime::type_mismatch();
        VARIANT& v = element.get();
        check(SafeArrayGetElement(array, &index, &v.lVal));
        v.vt = type;
    }
    return to_variant(element.get());
}

Variant array_to_variant(SAFEARRAY* array, VARTYPE type)
{
    if (!array)
        return Variant(Variant::List{});
    if (SafeArrayGetDim(array) != 1)
        throw runtime::type_mismatch();
    LONG lower = 0, upper = -1;
    check(SafeArrayGetLBound(array, 1, &lower));
    check(SafeArrayGetUBound(array, 1, &upper));
    Variant::List list;
    for (LONG i = lower; i <= upper; ++i)
        list.push_back(element_to_variant(array, type, i));
    return Variant(std::move(list));
}

// A whole number of another size that fits a long, as one.
std::optional<int32_t> whole_number(const VARIANT& v)
{
    long double n = 0;
    switch (V_VT(&v)) {
    case VT_I1: n = V_I1(&v); break;
    case VT_UI1: n = V_UI1(&v); break;
    case VT_UI2: n = V_UI2(&v); break;
    case VT_UI4: n = V_UI4(&v); break;
    case VT_INT: n = V_INT(&v); break;
    case VT_UINT: n = V_UINT(&v); break;
    case VT_I8: n = static_cast<long double>(V_I8(&v)); break;
    case VT_UI8: n = static_cast<long double>(V_UI8(&v)); break;
    default: return std::nullopt;
    }
    if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(n);
}

// An octet string: a one-dimensional array of bytes.
Variant::Bytes bytes_of(SAFEARRAY* array)
{
    if (!array)
        return {};
    if (SafeArrayGetDim(array) != 1)
        throw runtime::type_mismatch();
    LONG lower = 0, upper = -1;
    check(SafeArrayGetLBound(array, 1, &lower));
    check(SafeArrayGetUBound(array, 1, &upper));
    Variant::Bytes bytes(static_cast<std::size_t>(upper - lower + 1));
    void* data = nullptr;
    check(SafeArrayAccessData(array, &data));
    std::copy_n(static_cast<const uint8_t*>(data), bytes.size(), bytes.begin());
    SafeArrayUnaccessData(array);
    return bytes;
}

}  // namespace

Variant to_variant(const VARIANT& v)
{
    if (V_VT(&v) == (VT_BYREF | VT_VARIANT))
        return to_variant(*V_VARIANTREF(&v));
    if (V_VT(&v) & VT_ARRAY) {
        SAFEARRAY* array = (V_VT(&v) & VT_BYREF) ? *V_ARRAYREF(&v) : V_ARRAY(&v);
        const VARTYPE type = V_VT(&v) & VT_TYPEMASK;
        if (type == VT_UI1)
            return Variant(bytes_of(array));
        if (type == VT_VARIANT || type == VT_BSTR || type == VT_I2 || type == VT_I4 || type == VT_BOOL || type == VT_R8)
            return array_to_variant(array, type);
        return Variant(Unreadable{});
    }
    if (V_VT(&v) & VT_BYREF) {  // a reference to a scalar reads as the scalar
        VariantHolder plain;
        if (FAILED(VariantCopyInd(plain.out(), const_cast<VARIANT*>(&v))))
            return Variant(Unreadable{});
        return to_variant(plain.get());
    }
    VariantHolder converted;
    switch (V_VT(&v)) {
    case VT_EMPTY: return Variant(Empty{});
    case VT_NULL: return Variant(Null{});
    case VT_BOOL: return Variant(V_BOOL(&v) != VARIANT_FALSE);
    case VT_I2: return Variant(static_cast<int16_t>(V_I2(&v)));
    case VT_I4: return Variant(static_cast<int32_t>(V_I4(&v)));
    case VT_BSTR: return Variant(to_string(V_BSTR(&v)));
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_ERROR: return Variant(Unreadable{});
    default: break;
    }
    if (const std::optional<int32_t> number = whole_number(v))  // read exactly: no conversion wraps it
        return Variant(*number);
    // Every other scalar (a fraction, a currency, a date, a number past a long) as the text that
    // automation gives it, which is what a script's CStr gives: no rounding, automation's form.
    if (FAILED(VariantChangeType(converted.out(), const_cast<VARIANT*>(&v), 0, VT_BSTR)))
        return Variant(Unreadable{});
    return Variant(to_string(V_BSTR(&converted.get())));
}

void from_variant(const Variant& value, VARIANT& out)
{
    VariantInit(&out);
    std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, Empty> || std::is_same_v<T, Unreadable>) {
                V_VT(&out) = VT_EMPTY;
            } else if constexpr (std::is_same_v<T, Null>) {
                V_VT(&out) = VT_NULL;
            } else if constexpr (std::is_same_v<T, bool>) {
                V_VT(&out) = VT_BOOL;
                V_BOOL(&out) = x ? VARIANT_TRUE : VARIANT_FALSE;
            } else if constexpr (std::is_same_v<T, int16_t>) {
                V_VT(&out) = VT_I2;
                V_I2(&out) = x;
            } else if constexpr (std::is_same_v<T, int32_t>) {
                V_VT(&out) = VT_I4;
                V_I4(&out) = x;
            } else if constexpr (std::is_same_v<T, double>) {
                V_VT(&out) = VT_R8;
                V_R8(&out) = x;
            } else if constexpr (std::is_same_v<T, String>) {
                V_BSTR(&out) = make_bstr(x);
                V_VT(&out) = VT_BSTR;
            } else if constexpr (std::is_same_v<T, Variant::Bytes>) {
                SafeArrayHolder array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(x.size())));
                void* data = nullptr;
                if (!array.get() || FAILED(SafeArrayAccessData(array.get(), &data)))
                    throw Failure(E_OUTOFMEMORY, L"Out of memory");
                std::copy(x.begin(), x.end(), static_cast<uint8_t*>(data));
                SafeArrayUnaccessData(array.get());
                V_ARRAY(&out) = array.release();
                V_VT(&out) = VT_ARRAY | VT_UI1;
            } else {
                SAFEARRAYBOUND bound{static_cast<ULONG>(x.size()), 0};
                SafeArrayHolder array(SafeArrayCreate(VT_VARIANT, 1, &bound));
                if (!array.get())
                    throw Failure(E_OUTOFMEMORY, L"Out of memory");
                for (LONG i = 0; i < static_cast<LONG>(x.size()); ++i) {
                    VariantHolder element;
                    from_variant(x[i], element.get());
                    check(SafeArrayPutElement(array.get(), &i, &element.get()));
                }
                V_ARRAY(&out) = array.release();
                V_VT(&out) = VT_ARRAY | VT_VARIANT;
            }
        },
        value.value);
}

SAFEARRAY* make_string_array(const StringArray& value)
{
    if (!value)
        return nullptr;
    SAFEARRAYBOUND bound{static_cast<ULONG>(value->size()), 0};
    SafeArrayHolder array(SafeArrayCreate(VT_BSTR, 1, &bound));
    if (!array.get())
        throw Failure(E_OUTOFMEMORY, L"Out of memory");
    for (LONG i = 0; i < static_cast<LONG>(value->size()); ++i) {
        Bstr text((*value)[i]);
        check(SafeArrayPutElement(array.get(), &i, text.get()));  // copies the string
    }
    return array.release();
}

StringArray to_string_array(SAFEARRAY* array)
{
    if (!array)
        return std::nullopt;
    Variant list = array_to_variant(array, VT_BSTR);
    std::vector<String> strings;
    for (const Variant& element : list.as<Variant::List>())
        strings.push_back(element.as<String>());
    return strings;
}

String system_message(HRESULT status)
{
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t*>(&text), 0,
                                  nullptr);
    String message;
    if (text) {
        message.assign(text, length);
        LocalFree(text);
    }
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    if (message.empty()) {
        wchar_t number[32];
        swprintf(number, 32, L"Error 0x%08X", static_cast<unsigned>(status));
        message = number;
    }
    return message;
}

Failure failure_from_thread(HRESULT status)
{
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        Bstr description;
        if (SUCCEEDED(info->GetDescription(description.out())) && SysStringLen(description.get()) > 0)
            return Failure(status, to_string(description.get()));
    }
    return Failure(status, system_message(status));
}

Failure failure_from(HRESULT status, IUnknown* source, REFIID iid)
{
    ComPtr<ISupportErrorInfo> supports;
    if (source && SUCCEEDED(source->QueryInterface(IID_PPV_ARGS(&supports))) &&
        supports->InterfaceSupportsErrorInfo(iid) == S_OK)
        return failure_from_thread(status);
    return Failure(status, system_message(status));
}

void clear_error_info() { SetErrorInfo(0, nullptr); }

void check(HRESULT status, IUnknown* source, REFIID iid)
{
    if (FAILED(status))
        throw failure_from(status, source, iid);
}

Failure failure_from_excepinfo(HRESULT status, EXCEPINFO& info)
{
    if (status != DISP_E_EXCEPTION)
        return Failure(status, system_message(status));
    if (info.pfnDeferredFillIn)
        info.pfnDeferredFillIn(&info);
    HRESULT reported = info.scode ? info.scode : (info.wCode ? MAKE_HRESULT(1, FACILITY_CONTROL, info.wCode) : status);
    String description = to_string(info.bstrDescription);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);
    info = EXCEPINFO{};
    if (description.empty())
        description = system_message(reported);
    return Failure(reported, description);
}

DISPID dispid_of(IDispatch* object, const String& name)
{
    Bstr text(name);
    LPOLESTR names[] = {text.get()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT status = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(status))
        throw Failure(status, system_message(status) + L" (" + name + L")");
    return id;
}

namespace {

// Invokes a member with the arguments in their natural order; the result lands in result.
void invoke(IDispatch* object, DISPID id, WORD flags, const std::vector<Variant>& args, VARIANT* result)
{
    std::vector<VariantHolder> holders(args.size());
    std::vector<VARIANTARG> reversed(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        from_variant(args[i], holders[i].get());
        reversed[args.size() - 1 - i] = holders[i].get();
    }
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put_id;
        params.cNamedArgs = 1;
    }
    EXCEPINFO info{};
    UINT bad_argument = 0;
    HRESULT status = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info, &bad_argument);
    if (FAILED(status))
        throw failure_from_excepinfo(status, info);
}

}  // namespace

ComPtr<IDispatch> create_object(const String& progid)
{
    CLSID clsid{};
    ComPtr<IDispatch> object;
    HRESULT status = CLSIDFromProgID(progid.c_str(), &clsid);
    if (SUCCEEDED(status))
        status = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&object));
    if (FAILED(status))
        throw Failure(static_cast<int32_t>(0x800A01AD), L"ActiveX component can't create object: " + progid);
    return object;
}

void put_property_ref(IDispatch* object, const String& name, IDispatch* value)
{
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_DISPATCH;
    V_DISPATCH(&arg) = value;
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &put_id, 1, 1};
    EXCEPINFO info{};
    UINT bad_argument = 0;
    const HRESULT status = object->Invoke(dispid_of(object, name), IID_NULL, LOCALE_USER_DEFAULT,
                                          DISPATCH_PROPERTYPUTREF, &params, nullptr, &info, &bad_argument);
    if (FAILED(status))
        throw failure_from_excepinfo(status, info);
}

Variant get_property(IDispatch* object, const String& name)
{
    VariantHolder result;
    invoke(object, dispid_of(object, name), DISPATCH_PROPERTYGET, {}, result.out());
    return to_variant(result.get());
}

void put_property(IDispatch* object, const String& name, const Variant& value)
{
    invoke(object, dispid_of(object, name), DISPATCH_PROPERTYPUT, {value}, nullptr);
}

Variant invoke_member(IDispatch* object, DISPID id, WORD flags, const std::vector<Variant>& args)
{
    VariantHolder result;
    invoke(object, id, flags, args, result.out());
    return to_variant(result.get());
}

Variant call_method(IDispatch* object, const String& name, const std::vector<Variant>& args)
{
    VariantHolder result;
    invoke(object, dispid_of(object, name), DISPATCH_METHOD, args, result.out());
    return to_variant(result.get());
}

ComPtr<IDispatch> get_object(IDispatch* object, const String& name, const std::vector<Variant>& args, WORD flags)
{
    VariantHolder result;
    invoke(object, dispid_of(object, name), flags, args, result.out());
    ComPtr<IDispatch> found;
    VARIANT& v = result.get();
    if ((V_VT(&v) == VT_DISPATCH || V_VT(&v) == VT_UNKNOWN) && V_UNKNOWN(&v))
        check(V_UNKNOWN(&v)->QueryInterface(IID_PPV_ARGS(&found)));
    else
        throw runtime::type_mismatch();
    return found;
}

ComPtr<IEnumVARIANT> enumerate(IUnknown* source)
{
    ComPtr<IEnumVARIANT> walk;
    if (SUCCEEDED(source->QueryInterface(IID_PPV_ARGS(&walk))))
        return walk;
    ComPtr<IDispatch> collection;
    check(source->QueryInterface(IID_PPV_ARGS(&collection)));
    VariantHolder owner;
    invoke(collection.Get(), DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, owner.out());
    VARIANT& v = owner.get();
    if ((V_VT(&v) != VT_UNKNOWN && V_VT(&v) != VT_DISPATCH) || !V_UNKNOWN(&v))
        throw runtime::type_mismatch();
    check(V_UNKNOWN(&v)->QueryInterface(IID_PPV_ARGS(&walk)));
    return walk;
}

ComPtr<IDispatch> next_object(IEnumVARIANT* walk)
{
    VariantHolder element;
    ULONG fetched = 0;
    HRESULT status = walk->Next(1, element.out(), &fetched);
    check(status);
    if (status == S_FALSE || fetched == 0)
        return nullptr;
    VARIANT& v = element.get();
    ComPtr<IDispatch> object;
    if ((V_VT(&v) == VT_DISPATCH || V_VT(&v) == VT_UNKNOWN) && V_UNKNOWN(&v))
        check(V_UNKNOWN(&v)->QueryInterface(IID_PPV_ARGS(&object)));
    else
        throw runtime::type_mismatch();
    return object;
}

}  // namespace kx::com
