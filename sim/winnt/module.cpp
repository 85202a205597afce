// The simulated account database's provider.
#include "accounts.h"
#include "provider.h"

kxsim::Provider& kxsim::module_provider()
{
    // {6C1F3E0A-5B7D-4C52-9A36-2E8F4D7B91C4}
    static constexpr CLSID kNamespaceClsid = {0x6C1F3E0A, 0x5B7D, 0x4C52, {0x9A, 0x36, 0x2E, 0x8F, 0x4D, 0x7B, 0x91, 0xC4}};
    static const winnt::Rules rules;
    static Provider provider(rules, kNamespaceClsid, L"Simulated WinNT namespace");
    return provider;
}
