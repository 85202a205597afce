// Small owners for the automation types, and the conversions between them and the values
// of the operations. Windows only.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <utility>
#include <vector>

#include "core/failure.h"
#include "core/value.h"

namespace kx::com {

using Microsoft::WRL::ComPtr;

// Owns a BSTR.
class Bstr
{
public:
    Bstr() = default;
    explicit Bstr(const String& text);
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept;
    ~Bstr() { SysFreeString(bstr_); }

    BSTR get() const { return bstr_; }
    BSTR* out();  // frees the current string, for a callee to fill
    BSTR release() { return std::exchange(bstr_, nullptr); }

private:
    BSTR bstr_ = nullptr;
};

// Owns a VARIANT.
class VariantHolder
{
public:
    VariantHolder() { VariantInit(&v_); }
    VariantHolder(const VariantHolder&) = delete;
    VariantHolder& operator=(const VariantHolder&) = delete;
    ~VariantHolder() { VariantClear(&v_); }

    VARIANT& get() { return v_; }
    const VARIANT& get() const { return v_; }
    VARIANT* out();  // clears the current value, for a callee to fill
    VARIANT release();

private:
    VARIANT v_;
};

// Owns a SAFEARRAY.
class SafeArrayHolder
{
public:
    explicit SafeArrayHolder(SAFEARRAY* array = nullptr) : array_(array) {}
    SafeArrayHolder(const SafeArrayHolder&) = delete;
    SafeArrayHolder& operator=(const SafeArrayHolder&) = delete;
    ~SafeArrayHolder()
    {
        if (array_)
            SafeArrayDestroy(array_);
    }
    SAFEARRAY* get() const { return array_; }
    SAFEARRAY* release() { return std::exchange(array_, nullptr); }

private:
    SAFEARRAY* array_;
};

// A null BSTR reads as the empty string; embedded NULs are kept.
String to_string(BSTR text);
BSTR make_bstr(const String& text);  // throws on out-of-memory

Variant to_variant(const VARIANT& v);
// Fills an empty (VT_EMPTY) VARIANT from a value; a list becomes an array of variants.
void from_variant(const Variant& value, VARIANT& out);

// A one-dimensional string array with lower bound 0; null for an unallocated one.
SAFEARRAY* make_string_array(const StringArray& value);
StringArray to_string_array(SAFEARRAY* array);

// Throws a Failure for a failed status. The description comes from the object's error
// information when it offers it for that interface, else from the system's message text.
void check(HRESULT status, IUnknown* source = nullptr, REFIID iid = IID_NULL);
Failure failure_from(HRESULT status, IUnknown* source = nullptr, REFIID iid = IID_NULL);
String system_message(HRESULT status);

// A failure of a call that reports through the thread's error information alone (a global
// function such as ADsGetObject); clear_error_info() before the call.
void clear_error_info();
Failure failure_from_thread(HRESULT status);

// Runs COM and the automation errors of a late-bound call as Failures.
Failure failure_from_excepinfo(HRESULT status, EXCEPINFO& info);

// A new object of the class that a ProgID names, as a script's CreateObject makes it; a class
// that is not there fails as "ActiveX component can't create object".
ComPtr<IDispatch> create_object(const String& progid);

// Late-bound calls through IDispatch, names matched by the object.
Variant get_property(IDispatch* object, const String& name);
void put_property(IDispatch* object, const String& name, const Variant& value);
// Set object.Property = value: the property takes the object by reference.
void put_property_ref(IDispatch* object, const String& name, IDispatch* value);
Variant call_method(IDispatch* object, const String& name, const std::vector<Variant>& args = {});
// A member's dispatch identifier, and a call by it: for callers that call one member often.
DISPID dispid_of(IDispatch* object, const String& name);
Variant invoke_member(IDispatch* object, DISPID id, WORD flags, const std::vector<Variant>& args = {});

// The same returning an object (a method or property whose value is an object).
ComPtr<IDispatch> get_object(IDispatch* object, const String& name, const std::vector<Variant>& args = {},
                             WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET);

// The enumerator of a collection (its _NewEnum), and its next element as an object, or
// null at the end.
ComPtr<IEnumVARIANT> enumerate(IUnknown* new_enum_owner_or_enum);
ComPtr<IDispatch> next_object(IEnumVARIANT* walk);

}  // namespace kx::com
