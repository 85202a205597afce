#include "accounts/computer.h"
#include "accounts/operations.h"
#include "core/convert.h"
#include "core/failure.h"
#include "platform/platform.h"

namespace kx::accounts {
namespace {

constexpr int32_t kDontExpirePassword = 0x10000;
constexpr int32_t kPasswordCantChange = 0x40;

// Adds a flag to the user's flags, read afresh from a fresh binding; no bit is cleared.
void add_flag(directory::Directory& directory, const String& user_path, int32_t flag)
{
    auto user = directory.bind(user_path);
    const int32_t flags = to_long(user->get(L"UserFlags")) | flag;
    user->put(L"userFlags", flags);
    user->set_info();
}

}  // namespace

int32_t createntuser(Platform& platform, const String& iHost, const String& iUserName, const String& iPassword,
                     const String& iGroupName)
{
    const String user_path = computer_path(iHost) + L"/" + iUserName;
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(1);
        auto computer = accounts_of(platform.directory, iHost, L"User");
        bool found = false;  // an account of exactly that name; the walk always runs to its end
        directory::for_each_child(*computer, [&](directory::Object& user) { found = (user.name() == iUserName) || found; });

        // An existing account keeps its password and flags.
        if (!found) {
            stages.arm(4);
            computer->create(L"user", iUserName)->set_info();

            stages.arm(7);
            auto user = platform.directory.bind(user_path);
            user->call(L"SetPassword", {iPassword});
            user->set_info();

            stages.arm(5);
            add_flag(platform.directory, user_path, kDontExpirePassword);
            stages.arm(6);
            add_flag(platform.directory, user_path, kPasswordCantChange);
        }

        // The lookup is judged only by whether it failed: any failure makes a new group.
        std::unique_ptr<directory::Object> group;
        if (ignoring_failure([&] { group = computer->child(L"group", iGroupName); })) {
            stages.arm(2);
            group = computer->create(L"group", iGroupName);
            group->set_info();
        }

        // Membership is not reported: a user already in the group fails here and counts as done.
        ignoring_failure([&] { group->call(L"Add", {user_path}); });
        ignoring_failure([&] { group->set_info(); });
        return 0;
    });
}

}  // namespace kx::accounts
