// The simulated local account database (the WinNT: namespace): users and groups of this
// computer, with the real provider's rules and statuses. Where the store is kept, the
// computer's name and how a password is kept are the caller's.
#pragma once

#include "node_rules.h"
#include "profiles.h"

namespace kxsim::winnt {

class AccountRules : public kxsim::Rules
{
public:
    const wchar_t* scheme() const override { return L"WinNT"; }
    const wchar_t* root_class() const override { return L"Computer"; }
    Location locate(const String& rest) const override;
    String machine_name() const override { return computer_name(); }
    SimError unreachable(const String& host) const override;
    SimError not_found(const String& class_name) const override;
    SimError already_exists(const String& class_name) const override;
    bool lookup_by_class() const override { return true; }
    String canonical_class(const String& class_name) const override;
    String step_of(const String& class_name) const override;
    void initialise(NodeData& data) const override;
    void on_delete(Tree& tree, const Node& container, const Node& child) const override;
    bool hidden(const String& property) const override;
    void on_first_store(const Tree& tree, const NodeData& data,
                        std::vector<std::pair<String, Variant>>& pending) const override;
    String read_step() const override { return L"read-accounts"; }
    bool guarded_read(const std::vector<String>& path) const override { return !path.empty(); }
    std::vector<const wchar_t*> methods() const override
    {
        return {L"SetPassword", L"Add", L"Remove", L"IsMember", L"Members"};
    }
    Reply call(Entry& node, const String& method, const std::vector<Variant>& args) const override;

    // What the store keeps of a password.
    virtual String password_digest(const String& password) const = 0;
};

// The properties that keep a user's password digest and a group's members.
inline constexpr wchar_t kPasswordProperty[] = L"PasswordDigest";
inline constexpr wchar_t kMembersProperty[] = L"MemberNames";
// A password given before the user's first SetInfo, held by the object until then.
inline constexpr wchar_t kHeldPassword[] = L"HeldPassword";

// The names of a group's members, as stored.
const Variant::List& members_of(const Node& group);

// The accounts of a freshly installed server of the profile on a computer of that name.
Tree fresh_machine(const String& computer, const Profile& profile = profiles().front());

}  // namespace kxsim::winnt
