// The simulated web server's configuration store, kept in a file that every process shares.
#pragma once

#include "directory.h"
#include "web_rules.h"

namespace kxsim::iis {

// The store named by KX_SIM_IIS_STORE, else C:\kxsim\iis.store.
StoreFile store_file();
StoreFile store_file(const String& path);

class Rules final : public WebRules
{
public:
    std::shared_ptr<const TreeStore> store() const override;
    String computer_name() const override;
};

}  // namespace kxsim::iis
