#include "account_rules.h"

#include <algorithm>

#include "core/convert.h"

namespace kxsim::winnt {
namespace {

constexpr int32_t kNormalAccount = 0x200, kScript = 0x1, kAccountDisabled = 0x2, kPasswordNotRequired = 0x20,
                  kPasswordCantChange = 0x40, kDontExpirePassword = 0x10000;

constexpr uint32_t kPasswordTooShort = 2245, kBadNetPath = 53, kNoSuchAlias = 1376, kAliasExists = 1379, kNoSuchMember = 1387,
                   kMemberInAlias = 1378, kMemberNotInAlias = 1377, kUserNotFound = 2221, kUserExists = 2224;

SimError status_of(uint32_t error, const wchar_t* text) { return SimError{from_win32(error), text}; }

bool is_group(const String& class_name) { return same_name(class_name, L"Group"); }

bool is_member(const Node& group, const String& name)
{
    const auto& members = members_of(group);
    return std::any_of(members.begin(), members.end(),
                       [&](const Variant& m) { return m.holds<String>() && same_name(m.as<String>(), name); });
}

void require_group(const Entry& node)
{
    if (!is_group(node.data().class_name))
        throw member_not_found();
}

// The account that a member's ADsPath names ("WinNT://HOST/name", the scheme in any case).
const Node& member_account(const AccountRules& rules, const Tree& tree, const String& path, uint32_t missing,
                           const wchar_t* text)
{
    const String scheme = L"WinNT://";
    if (path.size() < scheme.size() || !same_name(path.substr(0, scheme.size()), scheme))
        throw SimError{kInvalidPath, L"An invalid directory pathname was passed."};
    const Location where = rules.locate(path.substr(scheme.size()));
    if (!rules.this_machine(where.host))
        throw rules.unreachable(where.host);
    const Node* account = where.names.size() == 1 ? tree.root.child(where.names[0]) : nullptr;
    if (!account)
        throw status_of(missing, text);
    return *account;
}

}  // namespace

const Variant::List& members_of(const Node& group)
{
    static const Variant::List none;
    const Variant* members = group.property(kMembersProperty);
    return members && members->holds<Variant::List>() ? members->as<Variant::List>() : none;
}

// "HOST", "HOST,computer", "HOST/name" or "HOST/name,class".
Location AccountRules::locate(const String& rest) const
{
    Location where = kxsim::Rules::locate(rest);
    if (where.names.empty()) {  // "HOST,computer"
        const String::size_type comma = where.host.find(L',');
        if (comma != String::npos) {
            where.class_name = where.host.substr(comma + 1);
            where.host.erase(comma);
        }
    } else {
        String& last = where.names.back();
        const String::size_type comma = last.find(L',');
        if (comma != String::npos) {
            where.class_name = last.substr(comma + 1);
            last.erase(comma);
        }
    }
    return where;
}

SimError AccountRules::unreachable(const String&) const { return status_of(kBadNetPath, L"The network path was not found."); }

SimError AccountRules::not_found(const String& class_name) const
{
    if (is_group(class_name))
        return status_of(kNoSuchAlias, L"The specified local group does not exist.");
    return status_of(kUserNotFound, L"The user name could not be found.");
}

SimError AccountRules::already_exists(const String& class_name) const
{
    if (is_group(class_name))
        return status_of(kAliasExists, L"The specified local group already exists.");
    return status_of(kUserExists, L"The account already exists.");
}

String AccountRules::canonical_class(const String& class_name) const
{
    for (const wchar_t* known : {L"User", L"Group", L"Computer"})
        if (same_name(class_name, known))
            return known;
    return class_name;
}

String AccountRules::step_of(const String& class_name) const
{
    return same_name(class_name, L"User") ? L"create-user" : same_name(class_name, L"Group") ? L"create-group" : L"";
}

void AccountRules::initialise(NodeData& data) const
{
    if (data.class_name == L"User")
        data.properties.emplace_back(L"UserFlags", Variant(int32_t(kScript | kNormalAccount)));
    else if (data.class_name == L"Group")
        data.properties.emplace_back(kMembersProperty, Variant(Variant::List{}));
    else
        throw SimError{kUnknownObject, L"An unknown directory object was requested."};
}

void AccountRules::on_delete(Tree& tree, const Node&, const Node& child) const
{
    // An account that goes leaves every group it was in.
    for (auto& node : tree.root.children) {
        const Variant* members = node->property(kMembersProperty);
        if (!members || !members->holds<Variant::List>())
            continue;
        Variant::List kept;
        for (const Variant& m : members->as<Variant::List>())
            if (!m.holds<String>() || !same_name(m.as<String>(), child.name))
                kept.push_back(m);
        node->set(kMembersProperty, Variant(std::move(kept)));
    }
}

bool AccountRules::hidden(const String& property) const
{
    return same_name(property, kPasswordProperty) || same_name(property, kMembersProperty) ||
           same_name(property, kHeldPassword) || kxsim::Rules::hidden(property);
}

namespace {

SimError password_refused()
{
    return status_of(kPasswordTooShort, L"The password does not meet the password policy requirements. Check the "
                                        L"minimum password length, password complexity and password history "
                                        L"requirements.");
}

}  // namespace

// A new user is added with the password given before its first SetInfo, or none; under a
// password policy, a user without a password that meets it is not added (NetUserAdd).
void AccountRules::on_first_store(const Tree& tree, const NodeData& data,
                                  std::vector<std::pair<String, Variant>>& pending) const
{
    if (data.class_name != L"User")
        return;
    String password;
    auto held = std::find_if(pending.begin(), pending.end(), [](const auto& p) { return same_name(p.first, kHeldPassword); });
    if (held != pending.end())
        password = held->second.holds<String>() ? held->second.as<String>() : String();
    if (!meets_policy(profile_of(tree), data.path.back(), password))
        throw password_refused();
    if (held != pending.end()) {
        *held = {kPasswordProperty, Variant(password_digest(password))};
    }
}

Reply AccountRules::call(Entry& node, const String& method, const std::vector<Variant>& args) const
{
    // The group as the store holds it now.
    auto stored_group = [&](const Tree& tree) -> const Node& {
        require_group(node);
        const Node* group = tree.find(node.data().path);
        if (!group)
            throw not_found(L"Group");
        return *group;
    };
    if (same_name(method, L"SetPassword")) {
        expect(args, 1);
        if (node.data().class_name != L"User")
            throw member_not_found();
        const String password = kx::to_text(args[0]);
        // Before the first SetInfo the provider keeps the password and adds the user with it.
        if (!node.stored()) {
            node.hold(kHeldPassword, Variant(password));
            return {};
        }
        const String digest = password_digest(password);
        node.change_stored([&](Tree& tree, Node& user) {
            if (!meets_policy(profile_of(tree), user.name, password))
                throw password_refused();
            user.set(kPasswordProperty, Variant(digest));
        });
    } else if (same_name(method, L"Add")) {
        expect(args, 1);
        require_group(node);
        node.change_stored([&](Tree& tree, Node& group) {
            refuse(tree, L"add-member");
            const Node& account = member_account(*this, tree, kx::to_text(args[0]), kNoSuchMember,
                                                 L"A new member could not be added to a local group because the "
                                                 L"member does not exist.");
            if (is_member(group, account.name))
                throw status_of(kMemberInAlias, L"The specified account name is already a member of the group.");
            Variant::List members = members_of(group);
            members.emplace_back(account.name);
            group.set(kMembersProperty, Variant(std::move(members)));
        });
    } else if (same_name(method, L"Remove")) {
        expect(args, 1);
        require_group(node);
        node.change_stored([&](Tree& tree, Node& group) {
            const wchar_t text[] = L"The specified account name is not a member of the group.";
            const Node& account = member_account(*this, tree, kx::to_text(args[0]), kMemberNotInAlias, text);
            if (!is_member(group, account.name))
                throw status_of(kMemberNotInAlias, text);
            Variant::List members;
            for (const Variant& m : members_of(group))
                if (!m.holds<String>() || !same_name(m.as<String>(), account.name))
                    members.push_back(m);
            group.set(kMembersProperty, Variant(std::move(members)));
        });
    } else if (same_name(method, L"IsMember")) {
        expect(args, 1);
        const auto tree = store()->load();
        const Node& group = stored_group(*tree);
        bool member = false;
        try {
            member = is_member(group, member_account(*this, *tree, kx::to_text(args[0]), kNoSuchMember, L"").name);
        } catch (const SimError& e) {
            if (e.status != from_win32(kNoSuchMember))
                throw;
        }
        return Reply{Variant(member), false, {}};
    } else if (same_name(method, L"Members")) {
        expect(args, 0);
        const auto tree = store()->load();
        std::vector<NodeData> members;
        for (const Variant& m : members_of(stored_group(*tree)))
            if (const Node* account = m.holds<String>() ? tree->root.child(m.as<String>()) : nullptr)
                members.push_back(NodeData{account->class_name, {account->name}, account->properties});
        return Reply{Variant(), true, std::move(members)};
    } else {
        throw member_not_found();
    }
    return {};
}

Tree fresh_machine(const String& computer, const Profile& profile)
{
    Tree tree;
    tree.root.set(kServerProperty, Variant(String(profile.name)));
    auto user = [&](const String& name, int32_t flags) {
        tree.root.add(L"User", name).set(L"UserFlags", Variant(flags));
    };
    auto group = [&](const wchar_t* name, Variant::List members) {
        tree.root.add(L"Group", name).set(kMembersProperty, Variant(std::move(members)));
    };
    const String iusr = L"IUSR_" + computer, iwam = L"IWAM_" + computer;
    user(L"Administrator", kScript | kNormalAccount | kDontExpirePassword);
    user(L"Guest", kScript | kAccountDisabled | kPasswordNotRequired | kPasswordCantChange | kNormalAccount |
                       kDontExpirePassword);
    // IIS 7 and later serve anonymous requests as the built-in IUSR, which is no local account.
    if (profile.local_anonymous_users) {
        user(iusr, kScript | kPasswordCantChange | kNormalAccount | kDontExpirePassword);
        user(iwam, kScript | kPasswordCantChange | kNormalAccount | kDontExpirePassword);
    }
    group(L"Administrators", {Variant(L"Administrator")});
    group(L"Users", {});
    group(L"Guests", profile.local_anonymous_users ? Variant::List{Variant(L"Guest"), Variant(iusr), Variant(iwam)}
                                                   : Variant::List{Variant(L"Guest")});
    return tree;
}

}  // namespace kxsim::winnt
