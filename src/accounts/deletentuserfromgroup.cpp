#include "accounts/computer.h"
#include "accounts/operations.h"
#include "core/failure.h"
#include "platform/platform.h"

namespace kx::accounts {

int32_t deletentuserfromgroup(Platform& platform, const String& iHost, const String& iGroup, const String& iUserName)
{
    // The member's path spells its provider "Winnt://", as the caller's setup always has.
    const String member = L"Winnt://" + iHost + L"/" + iUserName;
    Stages<int32_t> stages;
    stages.arm(2);
    return stages.run([&] {
        auto computer = accounts_of(platform.directory, iHost, L"Group");
        directory::for_each_child(*computer, [&](directory::Object& group) {
            if (group.name() == iGroup)
                group.call(L"Remove", {member});
        });
        return 0;
    });
}

}  // namespace kx::accounts
