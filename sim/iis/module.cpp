// The simulated web server's provider.
#include "iis.h"
#include "provider.h"

kxsim::Provider& kxsim::module_provider()
{
    // {301A9182-85F9-428D-8F42-56A8E42BD3AC}
    static constexpr CLSID kNamespaceClsid = {0x301A9182, 0x85F9, 0x428D, {0x8F, 0x42, 0x56, 0xA8, 0xE4, 0x2B, 0xD3, 0xAC}};
    static const iis::Rules rules;
    static Provider provider(rules, kNamespaceClsid, L"Simulated IIS namespace");
    return provider;
}
