// The simulated web server's configuration store (the IIS: namespace): its rules, and the
// store of a freshly installed server. Where the store is kept is the caller's.
#pragma once

#include "node_rules.h"
#include "profiles.h"

namespace kxsim::iis {

class WebRules : public kxsim::Rules
{
public:
    const wchar_t* scheme() const override { return L"IIS"; }
    const wchar_t* root_class() const override { return L"IIsComputer"; }
    SimError unreachable(const String& host) const override;
    SimError not_found(const String& class_name) const override;
    SimError already_exists(const String& class_name) const override;
    bool multi_valued(const String& property) const override;
    String step_of(const String& class_name) const override;
    std::optional<std::pair<String, int32_t>> flag_of(const String& property) const override;
    String read_step() const override { return L"read-sites"; }
    bool guarded_read(const std::vector<String>& path) const override;
    std::vector<const wchar_t*> methods() const override { return {L"Start", L"Stop", L"AppDelete"}; }
    Reply call(Entry& node, const String& method, const std::vector<Variant>& args) const override;
};

// The flags property that a property is one bit of, and the bit ("AccessRead": AccessFlags, 1).
std::optional<std::pair<String, int32_t>> flag_bit(const String& property);

// A site's ServerState: started and stopped.
inline constexpr int32_t kStarted = 2, kStopped = 4;

// A freshly installed server of the profile: the default web site, the W3C logging module and,
// where the IIS 6 FTP service is installed, the default FTP site.
Tree fresh_machine(const Profile& profile = profiles().front());

}  // namespace kxsim::iis
