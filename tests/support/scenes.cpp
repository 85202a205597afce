#include "scenes.h"

#include "web_rules.h"

namespace kx::test {

kxsim::Node& add_site(kxsim::Tree& tree, const Site& site)
{
    kxsim::Node* web = tree.find({L"W3SVC"});
    if (!web)
        web = &tree.root.add(L"IIsWebService", L"W3SVC");
    auto list = [](const std::vector<String>& items) { return Variant(Variant::List(items.begin(), items.end())); };
    kxsim::Node& node = web->add(L"IIsWebServer", site.name);
    node.set(L"ServerComment", Variant(site.description));
    node.set(L"ServerBindings", list(site.bindings));
    if (!site.secure.empty())
        node.set(L"SecureBindings", list(site.secure));
    return node;
}

kxsim::Tree machine_with(const std::vector<Site>& sites)
{
    kxsim::Tree tree = kxsim::iis::fresh_machine();
    tree.find({L"W3SVC"})->children.clear();
    for (const Site& site : sites)
        add_site(tree, site);
    return tree;
}

}  // namespace kx::test
