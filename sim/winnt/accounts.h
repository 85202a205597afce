// The simulated local account database (the WinNT: namespace): users and groups of this
// computer, with the real provider's rules and statuses, and passwords kept only as salted
// digests.
#pragma once

#include "directory.h"

namespace kxsim::winnt {

// The store named by KX_SIM_WINNT_STORE, else C:\kxsim\winnt.store.
StoreFile store_file();
StoreFile store_file(const String& path);

class Rules final : public kxsim::Rules
{
public:
    const wchar_t* scheme() const override { return L"WinNT"; }
    const wchar_t* root_class() const override { return L"Computer"; }
    StoreFile store() const override { return store_file(); }
    Location locate(const String& rest) const override;
    String machine_name() const override;
    SimError unreachable(const String& host) const override;
    SimError not_found(const String& class_name) const override;
    SimError already_exists(const String& class_name) const override;
    bool refuses_taken_name_at_create() const override { return false; }
    bool lookup_by_class() const override { return true; }
    String canonical_class(const String& class_name) const override;
    String step_of(const String& class_name) const override;
    void initialise(NodeData& data) const override;
    void on_delete(Tree& tree, const Node& container, const Node& child) const override;
    bool hidden(const String& property) const override;
    std::vector<const wchar_t*> methods() const override
    {
        return {L"SetPassword", L"Add", L"Remove", L"IsMember", L"Members"};
    }
    void call(NodeContext& node, const String& method, const Arguments& args, VARIANT& out) const override;
};

// The properties that keep a user's password digest and a group's members.
inline constexpr wchar_t kPasswordProperty[] = L"PasswordDigest";
inline constexpr wchar_t kMembersProperty[] = L"MemberNames";

// "sha256$SALT$DIGEST" of a password, with a new random salt; and whether one matches.
String password_digest(const String& password);
bool password_matches(const String& digest, const String& password);

// The accounts of a freshly installed server on a computer of that name.
Tree fresh_machine(const String& computer);
// This computer's name, as the system gives it.
String computer_name();

}  // namespace kxsim::winnt
