#include "accounts/delete_account.h"
#include "accounts/operations.h"

namespace kx::accounts {

int32_t deletentgroup(Platform& platform, const String& iHost, const String& iGroupName)
{
    return delete_account(platform, iHost, L"Group", L"group", iGroupName);
}

}  // namespace kx::accounts
