// Time per call of getwebid and getfreewebid through COM against the simulated web server
// with 10, 100 and 1000 sites. Prints one line per case.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>

#include "iis.h"

namespace {

using Microsoft::WRL::ComPtr;

ComPtr<IDispatch> create(const wchar_t* progid)
{
    CLSID clsid{};
    ComPtr<IDispatch> object;
    CLSIDFromProgID(progid, &clsid);
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
    return object;
}

// One late-bound call with at most one text argument; false when it failed.
bool call(IDispatch* object, const wchar_t* member, const std::wstring* text, long& result)
{
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id)))
        return false;
    VARIANT arg, out;
    VariantInit(&out);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = text ? SysAllocStringLen(text->data(), static_cast<UINT>(text->size())) : nullptr;
    DISPPARAMS params{&arg, nullptr, text ? 1u : 0u, 0};
    const HRESULT status = object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, nullptr);
    SysFreeString(V_BSTR(&arg));
    result = V_VT(&out) == VT_I4 ? V_I4(&out) : -1;
    VariantClear(&out);
    return SUCCEEDED(status);
}

double seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency)
{
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Calls the member until a second has passed (at least once); the mean time per call.
double per_call(IDispatch* object, const wchar_t* member, const std::wstring* text, long& result)
{
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int calls = 0;
    do {
        if (!call(object, member, text, result))
            return -1;
        ++calls;
        QueryPerformanceCounter(&now);
    } while (seconds(start, now, frequency) < 1.0);
    return seconds(start, now, frequency) / calls;
}

}  // namespace

int wmain()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    const std::wstring path = L"C:\\kxsim\\bench.store";
    SetEnvironmentVariableW(L"KX_SIM_IIS_STORE", path.c_str());
    ComPtr<IDispatch> getwebid = create(L"Kestrix.getwebid"), getfreewebid = create(L"Kestrix.getfreewebid");
    if (!getwebid || !getfreewebid) {
        std::fprintf(stderr, "Kestrix is not registered\n");
        return 1;
    }
    std::printf("%-8s %-14s %14s  %s\n", "sites", "member", "ms per call", "answer");
    for (int sites : {10, 100, 1000}) {
        kxsim::Tree tree = kxsim::iis::fresh_machine();
        kxsim::Node& web = *tree.find({L"W3SVC"});
        web.children.clear();
        for (int n = 1; n <= sites; ++n)
            web.add(L"IIsWebServer", std::to_wstring(n))
                .set(L"ServerComment", kx::Variant(L"Site " + std::to_wstring(n)));
        kxsim::iis::store_file(path).replace(tree);

        const std::wstring last = L"Site " + std::to_wstring(sites);
        long answer = 0;
        double t = per_call(getwebid.Get(), L"getwebid", &last, answer);
        std::printf("%-8d %-14s %14.3f  %ld\n", sites, "getwebid", t * 1000, answer);
        t = per_call(getfreewebid.Get(), L"getfreewebid", nullptr, answer);
        std::printf("%-8d %-14s %14.3f  %ld\n", sites, "getfreewebid", t * 1000, answer);
        std::fflush(stdout);
    }
    DeleteFileW(path.c_str());
    CoUninitialize();
    return 0;
}
