// What deleting a user and deleting a group share.
#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::accounts {

// Deletes the first account of the filter class named exactly so: 0 deleted, 1 none of that
// name, 2 failure. The container's delete is invoked by the name "DELETE" with the class in
// lower case.
int32_t delete_account(Platform& platform, const String& host, const wchar_t* filter_class,
                       const wchar_t* delete_class, const String& name);

}  // namespace kx::accounts
