// The simulated local account database, kept in a file that every process shares, with
// passwords kept only as salted digests.
#pragma once

#include "account_rules.h"
#include "directory.h"

namespace kxsim::winnt {

// The store named by KX_SIM_WINNT_STORE, else C:\kxsim\winnt.store.
StoreFile store_file();
StoreFile store_file(const String& path);

class Rules final : public AccountRules
{
public:
    std::shared_ptr<const TreeStore> store() const override;
    String computer_name() const override;
    String password_digest(const String& password) const override;
};

// "sha256$SALT$DIGEST" of a password, with a new random salt; and whether one matches.
String password_digest(const String& password);
bool password_matches(const String& digest, const String& password);

// This computer's name, as the system gives it.
String computer_name();

}  // namespace kxsim::winnt
