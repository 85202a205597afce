#include "core/convert.h"
#include "platform/automation/automation.h"
#include "platform/platform.h"
#include "platform/ui/ui.h"
#include "utilities/operations.h"

namespace kx::utilities {
namespace {

constexpr int32_t kConnected = 7, kClosing = 8, kError = 9;
constexpr int kPasses = 25, kRunsPerPass = 10000;

}  // namespace

// The control connects asynchronously; its progress arrives through the caller's message
// queue, which the wait lets run. The wait is bounded by count, not by time.
int32_t portscan(Platform& platform, const String& Host, const String& Port)
{
    const auto winsock = platform.automation.create(L"MSWINSOCK.Winsock");
    winsock->put(L"RemotePort", Port);
    winsock->put(L"RemoteHost", Host);
    winsock->call(L"Connect");
    auto state = [&] { return to_long(winsock->get(L"State")); };
    for (int passes = 0;;) {
        // Each comparison reads the state anew, and all of them are made.
        const int32_t a = state(), b = state(), c = state();
        if (a == kConnected || b == kClosing || c == kError || passes >= kPasses)
            break;
        ++passes;
        for (int run = 1; run <= kRunsPerPass; ++run)
            platform.ui.do_events();
    }
    const bool connected = state() == kConnected;
    winsock->call(L"Close");
    return connected ? 0 : 1;
}

}  // namespace kx::utilities
