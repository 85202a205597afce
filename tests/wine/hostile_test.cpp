// Every member of the catalogue, as a careless or hostile caller calls it: texts empty, of a
// megabyte, with NULs, outside the code page and the BMP; numbers at and past the limits;
// every kind of value a script can pass, also by reference; too few, too many and named
// arguments. Each call must give a result or a clean automation error and leave no stand-in
// object alive, and meets a fresh simulated machine.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "dispatched.h"
#include "simulated_server.h"

namespace kx::test {
namespace {

using Hostile = SimulatedServer;

// An object a script might pass: it has no members.
struct Stranger final : kxsim::Dispatched
{
    Stranger() : Dispatched(L"Stranger", {}) {}
    void member(std::size_t, bool, const kxsim::Arguments&, VARIANT&) override {}
};

// The values, each made afresh into a VARIANT.
struct Shape
{
    const char* name;
    std::function<void(VARIANT&)> make;
};

std::vector<Shape> shapes(Stranger& stranger)
{
    auto text = [](std::wstring s) {
        return [s](VARIANT& v) {
            V_VT(&v) = VT_BSTR;
            V_BSTR(&v) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        };
    };
    auto typed = [](VARTYPE type, auto set) {
        return [type, set](VARIANT& v) {
            V_VT(&v) = type;
            set(v);
        };
    };
    return {
        {"empty text", text(L"")},
        {"a megabyte", text(std::wstring(1 << 20, L'k'))},
        {"a name past MAX_PATH", text(std::wstring(300, L'p') + L".chm")},
        {"NULs", text(std::wstring(L"a\0b\0", 4))},
        {"beyond the code page", text(L"\u00e9\u4e2d\U0001F600\uFFFF")},
        {"a lone surrogate", text(L"x\xD800y")},
        {"a number as text past a long", text(L"99999999999")},
        {"long max", typed(VT_I4, [](VARIANT& v) { V_I4(&v) = 2147483647; })},
        {"long min", typed(VT_I4, [](VARIANT& v) { V_I4(&v) = -2147483647 - 1; })},
        {"double past a long", typed(VT_R8, [](VARIANT& v) { V_R8(&v) = 1e300; })},
        {"a fraction", typed(VT_R8, [](VARIANT& v) { V_R8(&v) = -0.5; })},
        {"boolean", typed(VT_BOOL, [](VARIANT& v) { V_BOOL(&v) = VARIANT_TRUE; })},
        {"date", typed(VT_DATE, [](VARIANT& v) { V_DATE(&v) = 36526.5; })},
        {"Empty", typed(VT_EMPTY, [](VARIANT&) {})},
        {"Null", typed(VT_NULL, [](VARIANT&) {})},
        {"a missing optional", typed(VT_ERROR, [](VARIANT& v) { V_ERROR(&v) = DISP_E_PARAMNOTFOUND; })},
        {"an object", typed(VT_DISPATCH, [&](VARIANT& v) { V_DISPATCH(&v) = &stranger, stranger.AddRef(); })},
        {"Nothing", typed(VT_DISPATCH, [](VARIANT& v) { V_DISPATCH(&v) = nullptr; })},
        {"an array", [](VARIANT& v) {
             SAFEARRAYBOUND bound{2, 0};
             V_VT(&v) = VT_ARRAY | VT_VARIANT;
             V_ARRAY(&v) = SafeArrayCreate(VT_VARIANT, 1, &bound);
         }},
        {"an unallocated array", typed(VT_ARRAY | VT_BSTR, [](VARIANT& v) { V_ARRAY(&v) = nullptr; })},
        {"a two-dimensional array", [](VARIANT& v) {
             SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
             V_VT(&v) = VT_ARRAY | VT_I4;
             V_ARRAY(&v) = SafeArrayCreate(VT_I4, 2, bounds);
         }},
    };
}

// A clean answer: a result, or a failure that says what it is.
bool clean(HRESULT status, const Invoked& invoked)
{
    if (SUCCEEDED(status))
        return true;
    if (status == DISP_E_EXCEPTION)
        return FAILED(invoked.scode) && !invoked.description.empty();
    return status == DISP_E_TYPEMISMATCH || status == DISP_E_OVERFLOW || status == DISP_E_BADPARAMCOUNT ||
           status == DISP_E_NONAMEDARGS || status == DISP_E_BADVARTYPE || status == DISP_E_PARAMNOTFOUND;
}

TEST_F(Hostile, LateBoundEveryMemberTakesEveryKindOfValue)
{
    auto* stranger = new Stranger;
    const auto all = shapes(*stranger);
    const long live_before = live_before_;  // SetUp, run again for each call, moves it
    std::size_t called = 0, members = 0;
    for (const auto& cls : catalogue::library().classes) {
        ComPtr<IDispatch> object = create(cls.name);
        ASSERT_TRUE(object) << cls.name;
        for (const auto& member : cls.members) {
            ++members;
            const std::wstring name = widen(member.name);
            const UINT count = static_cast<UINT>(member.params.size());
            for (const Shape& shape : all)
                for (bool byref : {false, true}) {
                    SetUp();  // each call meets a freshly installed machine, not what the calls before it made
                    std::vector<Var> values(count);
                    std::vector<VARIANTARG> args(count);
                    for (UINT i = 0; i < count; ++i) {
                        shape.make(values[i].v);
                        if (byref) {
                            V_VT(&args[i]) = VT_BYREF | VT_VARIANT;
                            V_VARIANTREF(&args[i]) = &values[i].v;
                        } else {
                            args[i] = values[i].v;
                        }
                    }
                    Var result;
                    const Invoked invoked = invoke(object.Get(), name.c_str(), args.data(), count, &result.v);
                    EXPECT_TRUE(clean(invoked.status, invoked))
                        << cls.name << "." << member.name << " with " << shape.name << (byref ? " by reference" : "")
                        << ": 0x" << std::hex << invoked.status;
                }
            ++called;
            // Too few, too many and named arguments.
            std::vector<VARIANTARG> extra(count + 1);
            for (VARIANTARG& arg : extra)
                V_VT(&arg) = VT_EMPTY;
            for (UINT given : {0u, count + 1})
                if (given != count) {
                    const Invoked invoked = invoke(object.Get(), name.c_str(), extra.data(), given, nullptr);
                    EXPECT_EQ(invoked.status, DISP_E_BADPARAMCOUNT) << cls.name << "." << member.name;
                }
            DISPID id = 0, named = 0;
            LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
            object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
            DISPPARAMS params{extra.data(), &named, count, count ? 1u : 0u};
            const HRESULT status = object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
            if (count) {
                EXPECT_EQ(status, DISP_E_NONAMEDARGS) << cls.name << "." << member.name;
            }
        }
        object.Reset();
        EXPECT_EQ(live_objects(), live_before) << cls.name << " left objects of the stand-ins alive";
    }
    EXPECT_EQ(stranger->Release(), 0u) << "an object passed in was kept";
    std::printf("hostile values: %zu of %zu members called\n", called, members);
}

}  // namespace
}  // namespace kx::test
