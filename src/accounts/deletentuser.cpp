#include "accounts/delete_account.h"
#include "accounts/operations.h"

namespace kx::accounts {

int32_t deletentuser(Platform& platform, const String& iHost, const String& iUserName)
{
    return delete_account(platform, iHost, L"User", L"user", iUserName);
}

}  // namespace kx::accounts
