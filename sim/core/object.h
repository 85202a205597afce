// What every stand-in object shares: its reference count (an object counts as live until its
// last release, so that tests can see what a caller left alive), failures reported as COM
// reports them (a status, and error information with a description), and the arguments of a
// late-bound call. Windows only.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <new>

#include "core/failure.h"
#include "core/value.h"

namespace kxsim {

using kx::String;
using kx::Variant;

// The objects of this module still alive.
extern std::atomic<long> live_objects;

// A failure as the stand-in reports it to its caller.
struct SimError
{
    HRESULT status;
    String description;
};

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

// Gives a value, an object or a text as the result of a late-bound call.
void give(VARIANT& out, IUnknown* object, VARTYPE type);
void give(VARIANT& out, const Variant& value);

}  // namespace kxsim
