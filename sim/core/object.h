// What every stand-in object shares: its reference count (an object counts as live until its
// last release, so that tests can see what a caller left alive), failures reported as COM
// reports them (a status, and error information with a description), and the arguments of a
// late-bound call. Windows only.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <new>
#include <vector>

#include "core/failure.h"
#include "core/value.h"
#include "node_rules.h"
#include "platform/com/com.h"

namespace kxsim {

using kx::String;
using kx::Variant;

// The objects of this module still alive.
extern std::atomic<long> live_objects;


// Sets the thread's error information and answers the status.
HRESULT report(HRESULT status, const String& description, const wchar_t* source);

// Runs a body that may fail, and reports its failure.
template <class Body>
HRESULT guarded(const wchar_t* source, Body&& body)
{
    try {
        body();
        return S_OK;
    } catch (const SimError& e) {
        return report(e.status, e.description, source);
    } catch (const kx::Failure& f) {
        return report(f.status(), f.description(), source);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// The answer of IDispatch::Invoke for a failed status: member and argument-count errors as
// they are, any other failure as an exception carrying the thread's error information.
HRESULT invoke_status(HRESULT status, EXCEPINFO* exception, const wchar_t* source);

// IDispatch::GetTypeInfoCount of an object that describes itself by no type information.
HRESULT no_type_information(UINT* count);

// A text property of an automation interface.
HRESULT give_text(BSTR* out, const String& value);

// The names of a late-bound object that are none of its members: properties of the object,
// numbered from kFirstProperty as callers ask for them.
class PropertyIds
{
public:
    static constexpr DISPID kFirstProperty = 1000;

    // GetIDsOfNames, for an object whose own members member_id(name) gives (DISPID_UNKNOWN for
    // any other name).
    template <class MemberId>
    HRESULT ids_of(LPOLESTR* names, UINT count, DISPID* ids, MemberId&& member_id)
    {
        if (!names || !ids || count == 0)
            return E_INVALIDARG;
        for (UINT i = 1; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        const String name = names[0] ? names[0] : L"";
        ids[0] = member_id(name);
        if (ids[0] == DISPID_UNKNOWN)
            ids[0] = property_id(name);
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    // The property an identifier stands for; null for any other identifier.
    const String* name_of(DISPID id) const;

private:
    DISPID property_id(const String& name);
    std::vector<String> names_;
};

// The identifier a table of members gives a name, without regard to case; DISPID_UNKNOWN for none.
DISPID member_in(const std::pair<const wchar_t*, DISPID>* members, std::size_t count, const String& name);
template <std::size_t N>
DISPID member_in(const std::pair<const wchar_t*, DISPID> (&members)[N], const String& name)
{
    return member_in(members, N, name);
}

// Counts the object as live from its construction to its last release.
class Counted
{
protected:
    Counted() { ++live_objects; }
    virtual ~Counted() { --live_objects; }

    ULONG add_reference() { return InterlockedIncrement(&references_); }
    ULONG release_reference()
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return left;
    }

private:
    LONG references_ = 1;
};

// The arguments of a late-bound call in their natural order, references to variants followed.
class Arguments
{
public:
    explicit Arguments(const DISPPARAMS& params) : params_(params) {}

    UINT count() const { return params_.cArgs; }
    const VARIANT& operator[](UINT i) const;
    String text(UINT i) const;
    Variant value(UINT i) const;
    // Fails with the automation status for a wrong number of arguments.
    void expect(UINT n) const;

private:
    const DISPPARAMS& params_;
};

// IDispatch::Invoke of a stand-in object: the call gets the arguments and a result to fill (one
// of its own when the caller wants none); its failure is answered as Invoke answers one.
template <class Call>
HRESULT invoke_call(const wchar_t* source, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, Call&& call)
{
    if (!params)
        return E_INVALIDARG;
    kx::com::VariantHolder ignored;
    VARIANT* out = result ? result : &ignored.get();
    VariantInit(out);
    return invoke_status(guarded(source, [&] { call(Arguments(*params), *out); }), exception, source);
}

// Gives a value, an object or a text as the result of a late-bound call.
void give(VARIANT& out, IUnknown* object, VARTYPE type);
void give(VARIANT& out, const Variant& value);

}  // namespace kxsim
