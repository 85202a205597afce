// Many calls in one process, and calls from eight threads at once: the process keeps its
// memory, its handles and the stand-ins their objects; every answer is right.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <deque>
#include <regex>
#include <thread>

#include "simulated_server.h"

namespace kx::test {
namespace {

using Endurance = SimulatedServer;

struct Footprint
{
    SIZE_T private_bytes;
    DWORD handles;
    long stand_in_objects;
};

// Private bytes are the commit charge (Wine fills PagefileUsage, not PrivateUsage). Wine does
// not count a process's handles; the number of the next free handle stands in for the count,
// which grows with every handle left open.
Footprint footprint()
{
    PROCESS_MEMORY_COUNTERS_EX memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    DWORD handles = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &handles) || handles == 0) {
        HANDLE next = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        handles = static_cast<DWORD>(reinterpret_cast<uintptr_t>(next) / 4);
        CloseHandle(next);
    }
    return Footprint{std::max(memory.PrivateUsage, memory.PagefileUsage), handles, live_objects()};
}

// A late-bound call with text arguments; its result as text.
std::wstring ask(IDispatch* object, const wchar_t* member, std::vector<std::wstring> texts = {})
{
    std::deque<Text> owned;
    std::vector<VARIANTARG> args(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        owned.emplace_back(texts[i]);
        args[texts.size() - 1 - i] = text_arg(owned.back().bstr);
    }
    Var result;
    const Invoked invoked = invoke(object, member, args.data(), static_cast<UINT>(args.size()), &result.v);
    if (FAILED(invoked.status) || FAILED(VariantChangeType(&result.v, &result.v, 0, VT_BSTR)))
        return L"<failed>";
    return std::wstring(V_BSTR(&result.v), SysStringLen(V_BSTR(&result.v)));
}

void report(const char* what, int calls, const Footprint& start, const Footprint& end)
{
    std::printf("%-26s %7d calls: private bytes %zu -> %zu KB, handles %lu -> %lu, stand-in objects %ld -> %ld\n", what,
                calls, static_cast<std::size_t>(start.private_bytes / 1024), static_cast<std::size_t>(end.private_bytes / 1024), start.handles, end.handles,
                start.stand_in_objects, end.stand_in_objects);
}

void expect_flat(const Footprint& start, const Footprint& end)
{
    EXPECT_LT(end.private_bytes, start.private_bytes + 4 * 1024 * 1024);
    EXPECT_LE(end.handles, start.handles + 4);
    EXPECT_EQ(end.stand_in_objects, start.stand_in_objects);
}

TEST_F(Endurance, ManyCallsKeepMemoryHandlesAndObjectsFlat)
{
    struct Run
    {
        const char* cls;
        std::vector<std::wstring> args;
        int calls;
    };
    for (const Run& run : {Run{"generatepassword", {}, 100000}, Run{"getwebid", {L"Default Web Site"}, 10000}}) {
        ComPtr<IDispatch> object = create(run.cls);
        const std::wstring member = widen(run.cls);
        for (int i = 0; i < 1000; ++i)  // the first calls load what stays loaded
            ask(object.Get(), member.c_str(), run.args);
        const Footprint start = footprint();
        for (int i = 0; i < run.calls; ++i)
            ask(object.Get(), member.c_str(), run.args);
        const Footprint end = footprint();
        report(run.cls, run.calls, start, end);
        expect_flat(start, end);
    }
}

// Four threads in single-threaded apartments and four in the multi-threaded one, each with
// objects of its own, call a mix of members at once.
TEST_F(Endurance, EightThreadsInBothApartmentKindsGetTheirOwnRightAnswers)
{
    const std::wstring host = kxsim::winnt::computer_name();
    std::atomic<int> wrong{0}, calls{0};
    const std::wregex password(L"[0-9A-Za-z:;=?@\\[\\]^_]{0,16}[0-9][:;=?]?[A-Z][a-z]");
    auto work = [&](DWORD apartment, int seed) {
        CoInitializeEx(nullptr, apartment);
        {
            ComPtr<IDispatch> generator = create("generatepassword"), webid = create("getwebid"),
                              encoder = create("updatemetabasewithcrcs"), users = create("checkuser");
            for (int i = 0; i < 150; ++i) {
                const std::wstring name = L"a_" + std::to_wstring(seed * 1000 + i);
                const bool right = std::regex_match(ask(generator.Get(), L"generatepassword"), password) &&
                                   ask(webid.Get(), L"getwebid", {L"Default Web Site"}) == L"1" &&
                                   ask(encoder.Get(), L"SQLEncodeString", {name}) ==
                                       L"a[_]" + std::to_wstring(seed * 1000 + i) &&
                                   ask(users.Get(), L"checkuser", {host, L"Administrator"}) == L"0" &&
                                   ask(users.Get(), L"checkuser", {host, name}) == L"1";
                wrong += right ? 0 : 1;
                calls += 5;
            }
        }
        CoUninitialize();
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back(work, t < 4 ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED, t);
    for (std::thread& thread : threads)
        thread.join();
    std::printf("eight threads: %d calls, %d rounds with a wrong answer\n", calls.load(), wrong.load());
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(calls, 8 * 150 * 5);
}

}  // namespace
}  // namespace kx::test
