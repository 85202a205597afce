#include "accounts.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstdio>

#include "core/text.h"
#include "platform/win32/cng.h"

namespace kxsim::winnt {
namespace {

constexpr int32_t kNormalAccount = 0x200, kScript = 0x1, kAccountDisabled = 0x2, kPasswordNotRequired = 0x20,
                  kPasswordCantChange = 0x40, kDontExpirePassword = 0x10000;

SimError status_of(DWORD error, const wchar_t* text) { return SimError{HRESULT_FROM_WIN32(error), text}; }

bool is_group(const String& class_name) { return same_name(class_name, L"Group"); }

const Variant::List& members_of(const Node& group)
{
    static const Variant::List none;
    const Variant* members = group.property(kMembersProperty);
    return members && members->holds<Variant::List>() ? members->as<Variant::List>() : none;
}

bool is_member(const Node& group, const String& name)
{
    const auto& members = members_of(group);
    return std::any_of(members.begin(), members.end(),
                       [&](const Variant& m) { return m.holds<String>() && same_name(m.as<String>(), name); });
}

void require_group(const NodeContext& node)
{
    if (!is_group(node.data().class_name))
        throw SimError{DISP_E_MEMBERNOTFOUND, L"Member not found."};
}

// The account that a member's ADsPath names ("WinNT://HOST/name", the scheme in any case).
const Node& member_account(const Rules& rules, const Tree& tree, const String& path, DWORD missing, const wchar_t* text)
{
    const String scheme = L"WinNT://";
    if (path.size() < scheme.size() || !same_name(path.substr(0, scheme.size()), scheme))
        throw SimError{static_cast<HRESULT>(0x80005000), L"An invalid directory pathname was passed."};
    const Location where = rules.locate(path.substr(scheme.size()));
    if (!rules.this_machine(where.host))
        throw rules.unreachable(where.host);
    const Node* account = where.names.size() == 1 ? tree.root.child(where.names[0]) : nullptr;
    if (!account)
        throw status_of(missing, text);
    return *account;
}

String hex(const UCHAR* bytes, std::size_t count)
{
    String out;
    for (std::size_t i = 0; i < count; ++i) {
        wchar_t pair[3];
        std::swprintf(pair, 3, L"%02x", bytes[i]);
        out += pair;
    }
    return out;
}

String sha256(const String& salt, const String& password)
{
    const String text = salt + L"$" + password;
    kx::win32::Hash hash(BCRYPT_SHA256_ALGORITHM);
    hash.add(text.data(), text.size() * sizeof(wchar_t));
    const std::vector<uint8_t> digest = hash.finish();
    if (digest.empty())
        throw SimError{E_FAIL, L"Cannot compute a password digest."};
    return hex(digest.data(), digest.size());
}

}  // namespace

StoreFile store_file(const String& path)
{
    return StoreFile(path, "local account database", static_cast<HRESULT>(0x80005000));
}

StoreFile store_file() { return store_file(StoreFile::path_from(L"KX_SIM_WINNT_STORE", L"C:\\kxsim\\winnt.store")); }

// "HOST", "HOST/name" or "HOST/name,class".
Location Rules::locate(const String& rest) const
{
    Location where = kxsim::Rules::locate(rest);
    if (!where.names.empty()) {
        String& last = where.names.back();
        const String::size_type comma = last.find(L',');
        if (comma != String::npos) {
            where.class_name = last.substr(comma + 1);
            last.erase(comma);
        }
    }
    return where;
}

SimError Rules::unreachable(const String&) const { return status_of(ERROR_BAD_NETPATH, L"The network path was not found."); }

SimError Rules::not_found(const String& class_name) const
{
    if (is_group(class_name))
        return status_of(ERROR_NO_SUCH_ALIAS, L"The specified local group does not exist.");
    return status_of(2221 /* NERR_UserNotFound */, L"The user name could not be found.");
}

SimError Rules::already_exists(const String& class_name) const
{
    if (is_group(class_name))
        return status_of(ERROR_ALIAS_EXISTS, L"The specified local group already exists.");
    return status_of(2224 /* NERR_UserExists */, L"The account already exists.");
}

String Rules::canonical_class(const String& class_name) const
{
    for (const wchar_t* known : {L"User", L"Group", L"Computer"})
        if (same_name(class_name, known))
            return known;
    return class_name;
}

String Rules::step_of(const String& class_name) const
{
    return same_name(class_name, L"User") ? L"create-user" : same_name(class_name, L"Group") ? L"create-group" : L"";
}

void Rules::initialise(NodeData& data) const
{
    if (data.class_name == L"User")
        data.properties.emplace_back(L"UserFlags", Variant(int32_t(kScript | kNormalAccount)));
    else if (data.class_name == L"Group")
        data.properties.emplace_back(kMembersProperty, Variant(Variant::List{}));
    else
        throw SimError{static_cast<HRESULT>(0x80005004), L"An unknown directory object was requested."};
}

void Rules::on_delete(Tree& tree, const Node&, const Node& child) const
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

bool Rules::hidden(const String& property) const
{
    return same_name(property, kPasswordProperty) || same_name(property, kMembersProperty);
}

void Rules::call(NodeContext& node, const String& method, const Arguments& args, VARIANT& out) const
{
    if (same_name(method, L"SetPassword")) {
        args.expect(1);
        if (node.data().class_name != L"User")
            throw SimError{DISP_E_MEMBERNOTFOUND, L"Member not found."};
        const String digest = password_digest(args.text(0));
        node.change_stored([&](Tree&, Node& user) { user.set(kPasswordProperty, Variant(digest)); });
    } else if (same_name(method, L"Add")) {
        args.expect(1);
        require_group(node);
        node.change_stored([&](Tree& tree, Node& group) {
            refuse(tree, L"add-member");
            const Node& account = member_account(*this, tree, args.text(0), ERROR_NO_SUCH_MEMBER,
                                                 L"A new member could not be added to a local group because the "
                                                 L"member does not exist.");
            if (is_member(group, account.name))
                throw status_of(ERROR_MEMBER_IN_ALIAS, L"The specified account name is already a member of the group.");
            Variant::List members = members_of(group);
            members.emplace_back(account.name);
            group.set(kMembersProperty, Variant(std::move(members)));
        });
    } else if (same_name(method, L"Remove")) {
        args.expect(1);
        require_group(node);
        node.change_stored([&](Tree& tree, Node& group) {
            const wchar_t text[] = L"The specified account name is not a member of the group.";
            const Node& account = member_account(*this, tree, args.text(0), ERROR_MEMBER_NOT_IN_ALIAS, text);
            if (!is_member(group, account.name))
                throw status_of(ERROR_MEMBER_NOT_IN_ALIAS, text);
            Variant::List members;
            for (const Variant& m : members_of(group))
                if (!m.holds<String>() || !same_name(m.as<String>(), account.name))
                    members.push_back(m);
            group.set(kMembersProperty, Variant(std::move(members)));
        });
    } else if (same_name(method, L"IsMember")) {
        args.expect(1);
        require_group(node);
        const auto tree = store().load();
        const Node* group = tree->find(node.data().path);
        if (!group)
            throw not_found(L"Group");
        bool member = false;
        try {
            member = is_member(*group, member_account(*this, *tree, args.text(0), ERROR_NO_SUCH_MEMBER, L"").name);
        } catch (const SimError& e) {
            if (e.status != HRESULT_FROM_WIN32(ERROR_NO_SUCH_MEMBER))
                throw;
        }
        give(out, Variant(member));
    } else {
        args.expect(0);
        require_group(node);
        const auto tree = store().load();
        const Node* group = tree->find(node.data().path);
        if (!group)
            throw not_found(L"Group");
        std::vector<NodeData> members;
        for (const Variant& m : members_of(*group))
            if (const Node* account = m.holds<String>() ? tree->root.child(m.as<String>()) : nullptr)
                members.push_back(NodeData{account->class_name, {account->name}, account->properties});
        give(out, node.collection(std::move(members)), VT_DISPATCH);
    }
}

String password_digest(const String& password)
{
    UCHAR salt[16];
    if (BCryptGenRandom(nullptr, salt, sizeof salt, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        throw SimError{E_FAIL, L"Cannot make a password salt."};
    const String salt_text = hex(salt, sizeof salt);
    return L"sha256$" + salt_text + L"$" + sha256(salt_text, password);
}

bool password_matches(const String& digest, const String& password)
{
    const String::size_type first = digest.find(L'$'), second = digest.find(L'$', first + 1);
    if (first == String::npos || second == String::npos)
        return false;
    return digest.substr(second + 1) == sha256(digest.substr(first + 1, second - first - 1), password);
}

String Rules::machine_name() const { return computer_name(); }

String computer_name()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? String(name, size) : String(L"LOCALHOST");
}

Tree fresh_machine(const String& computer)
{
    Tree tree;
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
    user(iusr, kScript | kPasswordCantChange | kNormalAccount | kDontExpirePassword);
    user(iwam, kScript | kPasswordCantChange | kNormalAccount | kDontExpirePassword);
    group(L"Administrators", {Variant(L"Administrator")});
    group(L"Users", {});
    group(L"Guests", {Variant(L"Guest"), Variant(iusr), Variant(iwam)});
    return tree;
}

}  // namespace kxsim::winnt
