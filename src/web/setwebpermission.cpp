#include "core/failure.h"
#include "core/text.h"
#include "platform/directory/directory.h"
#include "platform/platform.h"
#include "web/operations.h"

namespace kx::web {
namespace {

constexpr int32_t kPathNotFound = static_cast<int32_t>(0x80070003);

bool contains_letter(const String& code, wchar_t letter)
{
    for (wchar_t c : code)
        if (fold_case(c) == fold_case(letter))
            return true;
    return false;
}

}  // namespace

int32_t setwebpermission(Platform& platform, const String& Host, const String& WebsiteID, const String& URL,
                         const String& IISPermission)
{
    Stages<int32_t> stages;
    return stages.run([&] {
        auto root = platform.directory.bind(L"IIS://" + Host + L"/w3svc/" + WebsiteID + L"/ROOT");

        std::unique_ptr<directory::Object> node;
        const auto lookup_failure = ignoring_failure([&] { node = root->child(L"IIsWebDirectory", URL); });
        if (lookup_failure && lookup_failure->status() != kPathNotFound)
            return 2;
        if (lookup_failure) {
            stages.arm(1);
            node = root->create(L"IIsWebDirectory", URL);
        }

        stages.arm(3);
        node->put(L"AccessRead", false);
        node->put(L"AccessWrite", false);
        node->put(L"AccessExecute", false);
        node->put(L"AccessScript", true);

        stages.arm(4);
        if (contains_letter(IISPermission, L'R'))
            node->put(L"AccessRead", true);
        if (contains_letter(IISPermission, L'W'))
            node->put(L"AccessWrite", true);
        if (contains_letter(IISPermission, L'X'))
            node->put(L"AccessExecute", true);
        if (contains_letter(IISPermission, L'S'))
            node->put(L"AccessScript", false);
        node->set_info();
        return 0;
    });
}

}  // namespace kx::web
