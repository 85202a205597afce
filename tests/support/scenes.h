// The machines the tests start from, shared by the host tests and those under Wine.
#pragma once

#include <vector>

#include "store.h"

namespace kx::test {

struct Site
{
    String name;
    String description;
    std::vector<String> bindings = {L":80:"};
    std::vector<String> secure = {};
};

// Adds a site to the web service, which is made when it is missing.
kxsim::Node& add_site(kxsim::Tree& tree, const Site& site);
// A freshly installed server whose web service holds exactly these sites.
kxsim::Tree machine_with(const std::vector<Site>& sites);

}  // namespace kx::test
