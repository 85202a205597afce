#include "accounts/computer.h"
#include "accounts/operations.h"
#include "core/failure.h"
#include "core/text.h"
#include "platform/platform.h"

namespace kx::accounts {

int32_t getinternetuser(Platform& platform, const String& iHost, String& iUserName)
{
    Stages<int32_t> stages;
    stages.arm(1);
    return stages.run([&] {
        auto computer = accounts_of(platform.directory, iHost, L"User");
        auto walk = computer->children();
        while (auto user = walk->next()) {
            String name = user->name();
            if (find_ignoring_case(name, L"IUSR") != String::npos) {
                iUserName = std::move(name);
                return 0;
            }
        }
        return 2;
    });
}

}  // namespace kx::accounts
