#include "accounts/delete_account.h"

#include "accounts/computer.h"
#include "core/failure.h"
#include "platform/platform.h"

namespace kx::accounts {

int32_t delete_account(Platform& platform, const String& host, const wchar_t* filter_class,
                       const wchar_t* delete_class, const String& name)
{
    Stages<int32_t> stages;
    stages.arm(2);
    return stages.run([&] {
        auto computer = accounts_of(platform.directory, host, filter_class);
        auto walk = computer->children();
        while (auto account = walk->next())
            if (account->name() == name) {
                computer->call(L"DELETE", {String(delete_class), name});
                return 0;
            }
        return 1;
    });
}

}  // namespace kx::accounts
