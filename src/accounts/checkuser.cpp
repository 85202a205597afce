#include "accounts/computer.h"
#include "accounts/operations.h"
#include "core/failure.h"
#include "platform/platform.h"

namespace kx::accounts {

int32_t checkuser(Platform& platform, const String& iHost, const String& iUserName)
{
    // Every failure answers as a missing user does.
    Stages<int32_t> stages;
    stages.arm(1);
    return stages.run([&] {
        int32_t result = 1;
        auto computer = accounts_of(platform.directory, iHost, L"User");
        directory::for_each_child(*computer, [&](directory::Object& user) {
            if (user.name() == iUserName)
                result = 0;
        });
        return result;
    });
}

}  // namespace kx::accounts
