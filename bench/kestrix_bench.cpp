// Benchmarks of Kestrix.dll against the simulated web server, reported as ratios measured side
// by side: each round times both sides of a ratio one after the other, and the median of the
// rounds is printed with the lowest and the highest. Run with ./kx bench; never a test.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "iis.h"
#include "interfaces.h"
#include "script_host.h"

namespace {

using Microsoft::WRL::ComPtr;

constexpr int kRounds = 7;

double now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Seconds per run of a body, over enough runs to last at least the given time.
double per_run(const std::function<void()>& body, double at_least = 0.05)
{
    const double start = now();
    int runs = 0;
    do {
        body();
        ++runs;
    } while (now() - start < at_least);
    return (now() - start) / runs;
}

struct Spread
{
    double median, low, high;
};

Spread spread(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return Spread{values[values.size() / 2], values.front(), values.back()};
}

// The ratio a / b, measured side by side in each round; also the median times of both.
struct Ratio
{
    Spread ratio, a, b;
};

Ratio measure(const std::function<void()>& a, const std::function<void()>& b, double at_least = 0.05)
{
    std::vector<double> ratios, as, bs;
    a();  // the first call after a change of the store reads it
    b();
    for (int round = 0; round < kRounds; ++round) {
        const double ta = per_run(a, at_least), tb = per_run(b, at_least);
        ratios.push_back(ta / tb);
        as.push_back(ta);
        bs.push_back(tb);
    }
    return Ratio{spread(ratios), spread(as), spread(bs)};
}

ComPtr<IDispatch> create(const wchar_t* progid)
{
    CLSID clsid{};
    ComPtr<IDispatch> object;
    if (SUCCEEDED(CLSIDFromProgID(progid, &clsid)))
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
    if (!object) {
        std::fprintf(stderr, "cannot create %ls: is Kestrix registered?\n", progid);
        std::exit(1);
    }
    return object;
}

// A late-bound call by name with at most one text argument.
void late(IDispatch* object, const wchar_t* member, const std::wstring* text)
{
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
    object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    VARIANT arg, out;
    VariantInit(&out);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = text ? SysAllocStringLen(text->data(), static_cast<UINT>(text->size())) : nullptr;
    DISPPARAMS params{&arg, nullptr, text ? 1u : 0u, 0};
    object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, nullptr);
    SysFreeString(V_BSTR(&arg));
    VariantClear(&out);
}

void store_sites(const std::wstring& path, int sites)
{
    kxsim::Tree tree = kxsim::iis::fresh_machine();
    kxsim::Node& web = *tree.find({L"W3SVC"});
    web.children.clear();
    for (int n = 1; n <= sites; ++n)
        web.add(L"IIsWebServer", std::to_wstring(n)).set(L"ServerComment", kx::Variant(L"Site " + std::to_wstring(n)));
    kxsim::iis::store_file(path).replace(tree);
}

void print_ratio(const char* what, const Ratio& r, const char* a, const char* b)
{
    std::printf("  %-34s %7.2f  (%.2f..%.2f)   %s %.3f ms, %s %.3f ms\n", what, r.ratio.median, r.ratio.low,
                r.ratio.high, a, r.a.median * 1000, b, r.b.median * 1000);
}

// The lookups in VBScript, written as a script author would, against the same store.
const wchar_t kScriptLookups[] =
    L"Function webid(name)\n"
    L"  Dim site : webid = 0\n"
    L"  For Each site In GetObject(\"IIS://LocalHost/W3SVC\")\n"
    L"    If site.Class = \"IIsWebServer\" Then\n"
    L"      If site.ServerComment = name Then webid = CLng(site.Name)\n"
    L"    End If\n"
    L"  Next\n"
    L"End Function\n"
    L"Function freewebid()\n"
    L"  Dim site, used, n : Set used = CreateObject(\"Scripting.Dictionary\")\n"
    L"  For Each site In GetObject(\"IIS://LocalHost/W3SVC\")\n"
    L"    If site.Class = \"IIsWebServer\" Then used(CDbl(site.Name)) = True\n"
    L"  Next\n"
    L"  n = 1\n"
    L"  Do While used.Exists(CDbl(n)) : n = n + 1 : Loop\n"
    L"  freewebid = n\n"
    L"End Function\n"
    L"Dim kxid, kxfree : Set kxid = CreateObject(\"Kestrix.getwebid\") : Set kxfree = CreateObject(\"Kestrix.getfreewebid\")\n";

}  // namespace

int wmain()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    const std::wstring path = L"C:\\kxsim\\bench.store";
    SetEnvironmentVariableW(L"KX_SIM_IIS_STORE", path.c_str());
    ComPtr<IDispatch> password = create(L"Kestrix.generatepassword"), webid = create(L"Kestrix.getwebid"),
                      freewebid = create(L"Kestrix.getfreewebid");
    ComPtr<kestrix::_generatepassword> password_early;
    ComPtr<kestrix::_getwebid> webid_early;
    password.As(&password_early);
    webid.As(&webid_early);

    std::printf("Kestrix benchmarks: 64-bit build under wine64, simulated web server.\n"
                "Each ratio is the median of %d rounds measured side by side (lowest..highest).\n\n",
                kRounds);

    std::printf("Late-bound (IDispatch::Invoke by name) against early-bound (dual interface)\n");
    store_sites(path, 100);
    const std::wstring last100 = L"Site 100";
    print_ratio("generatepassword", measure([&] { late(password.Get(), L"generatepassword", nullptr); },
                                            [&] {
                                                BSTR out = nullptr;
                                                password_early->generatepassword(&out);
                                                SysFreeString(out);
                                            }),
                "late", "early");
    print_ratio("getwebid, 100 sites", measure([&] { late(webid.Get(), L"getwebid", &last100); },
                                               [&] {
                                                   BSTR name = SysAllocString(last100.c_str());
                                                   long result = 0;
                                                   webid_early->getwebid(&name, &result);
                                                   SysFreeString(name);
                                               }),
                "late", "early");

    std::printf("\nThe same lookup in VBScript against Kestrix.dll, both called from a VBScript loop, 1000 sites\n");
    store_sites(path, 1000);
    kx::test::ScriptHost script;
    if (!script.run(kScriptLookups)) {
        std::fprintf(stderr, "the script lookups did not load: %ls\n", script.error().c_str());
        return 1;
    }
    auto run = [&](const wchar_t* statement) {
        return [&script, statement] { script.run(statement); };
    };
    print_ratio("getwebid: VBScript / Kestrix",
                measure(run(L"r = webid(\"Site 1000\")"), run(L"r = kxid.getwebid(\"Site 1000\")"), 0.2), "VBScript",
                "Kestrix");
    print_ratio("getfreewebid: VBScript / Kestrix",
                measure(run(L"r = freewebid()"), run(L"r = kxfree.getfreewebid()"), 0.2), "VBScript", "Kestrix");

    std::printf("\nGrowth with the number of sites (ms per call; growth = time / time at the size before)\n");
    std::printf("  %8s %12s %8s %14s %8s %24s\n", "sites", "getwebid", "growth", "getfreewebid", "growth",
                "getfreewebid / getwebid");
    double previous_id = 0, previous_free = 0;
    for (int sites : {10, 100, 1000, 10000}) {
        store_sites(path, sites);
        const std::wstring last = L"Site " + std::to_wstring(sites);
        const Ratio r = measure([&] { late(freewebid.Get(), L"getfreewebid", nullptr); },
                                [&] { late(webid.Get(), L"getwebid", &last); }, sites >= 10000 ? 0.5 : 0.05);
        const double id = r.b.median * 1000, free = r.a.median * 1000;
        char id_growth[16] = "", free_growth[16] = "";
        if (previous_id > 0) {
            std::snprintf(id_growth, sizeof id_growth, "x%.1f", id / previous_id);
            std::snprintf(free_growth, sizeof free_growth, "x%.1f", free / previous_free);
        }
        std::printf("  %8d %12.3f %8s %14.3f %8s %12.2f (%.2f..%.2f)\n", sites, id, id_growth, free, free_growth,
                    r.ratio.median, r.ratio.low, r.ratio.high);
        std::fflush(stdout);
        previous_id = id;
        previous_free = free;
    }
    DeleteFileW(path.c_str());
    password_early.Reset();
    webid_early.Reset();
    CoUninitialize();
    return 0;
}
