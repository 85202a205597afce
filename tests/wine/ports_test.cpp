// The port probe's bounded wait, in-process with the stand-in Winsock control and a message
// queue whose runs are counted instead of run.
#include <gtest/gtest.h>

#include <winsock2.h>

#include "com_support.h"
#include "faulty_ports.h"
#include "platform/com/com.h"
#include "utilities/operations.h"
#include "winsock_double.h"

namespace kx::test {
namespace {

TEST(PortProbe, AConnectionThatNeverCompletesEndsAfter25PassesOf10000Runs)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    // A listener whose queue is full: a further connection is never answered.
    Listener full(0);
    SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    connect(filler, reinterpret_cast<const sockaddr*>(&full.address), sizeof full.address);

    TestPlatform fake;
    WinsockDouble control;
    automation::ComAutomation controls;
    Platform platform = fake.with(controls);
    EXPECT_EQ(utilities::portscan(platform, L"127.0.0.1", full.port()), 1);
    EXPECT_EQ(fake.ui.events, 25 * 10000);
    closesocket(filler);
    full.close();
    WSACleanup();
}

// What an automation object raised becomes the failure's status: its scode, else its wCode as a
// control's error (0x800A....), else the call's own status; the description comes along.
TEST(AutomationFailures, TakeTheStatusTheObjectRaised)
{
    struct Case
    {
        SCODE scode;
        WORD code;
        HRESULT expected;
    };
    for (const Case& c : {Case{E_ACCESSDENIED, 0, E_ACCESSDENIED}, Case{0, 1000, static_cast<HRESULT>(0x800A03E8)},
                          Case{0, 0, DISP_E_EXCEPTION}}) {
        EXCEPINFO info{};
        info.scode = c.scode;
        info.wCode = c.code;
        info.bstrDescription = SysAllocString(L"raised");
        const Failure failure = com::failure_from_excepinfo(DISP_E_EXCEPTION, info);
        EXPECT_EQ(failure.status(), c.expected);
        EXPECT_EQ(failure.description(), L"raised");
        EXPECT_EQ(info.bstrDescription, nullptr);
    }
}

}  // namespace
}  // namespace kx::test
