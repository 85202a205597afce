// The account operations through COM against the simulated account database, and the
// database as scripts and the directory service see it.
#include <iads.h>
#include <adshlp.h>

#include <fstream>
#include <iterator>

#include "script_host.h"
#include "simulated_server.h"

namespace kx::test {
namespace {

using Accounts = SimulatedServer;

const std::wstring host = kxsim::winnt::computer_name();

int32_t flags_of(const kxsim::Tree& tree, const wchar_t* user)
{
    const kxsim::Node* node = tree.root.child(user);
    return node && node->property(L"UserFlags") ? node->property(L"UserFlags")->as<int32_t>() : -1;
}

std::vector<std::wstring> members_of(const kxsim::Tree& tree, const wchar_t* group)
{
    std::vector<std::wstring> names;
    if (const kxsim::Node* node = tree.root.child(group))
        for (const auto& m : node->property(kxsim::winnt::kMembersProperty)->as<kx::Variant::List>())
            names.push_back(m.as<std::wstring>());
    return names;
}

bool password_is(const kxsim::Tree& tree, const wchar_t* user, const wchar_t* password)
{
    const kxsim::Node* node = tree.root.child(user);
    const kx::Variant* digest = node ? node->property(kxsim::winnt::kPasswordProperty) : nullptr;
    return digest && kxsim::winnt::password_matches(digest->as<std::wstring>(), password);
}

TEST_F(Accounts, AServiceAccountIsCreatedWithPasswordFlagsAndGroup)
{
    EXPECT_EQ(answer_of("createntuser", {host, L"svc_kx", L"S3cret;pw", L"KxOperators"}), 0);
    kxsim::Tree tree = stored_accounts();
    EXPECT_EQ(flags_of(tree, L"svc_kx"), 0x201 | 0x10000 | 0x40);
    EXPECT_TRUE(password_is(tree, L"svc_kx", L"S3cret;pw"));
    EXPECT_EQ(members_of(tree, L"KxOperators"), std::vector<std::wstring>{L"svc_kx"});
    const std::string text = [&] {
        std::ifstream raw(std::string(accounts_path_.begin(), accounts_path_.end()), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(raw), {});
    }();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find("S3cret"), std::string::npos) << "a password stands in the store in clear";

    // An account of exactly that name keeps its password and flags; the group step runs,
    // and a user already in the group counts as done.
    EXPECT_EQ(answer_of("createntuser", {host, L"svc_kx", L"other", L"KxOperators"}), 0);
    EXPECT_EQ(answer_of("createntuser", {L"localhost", L"svc_kx", L"other", L"Users"}), 0);
    tree = stored_accounts();
    EXPECT_TRUE(password_is(tree, L"svc_kx", L"S3cret;pw"));
    EXPECT_EQ(flags_of(tree, L"svc_kx"), 0x10241);
    EXPECT_EQ(members_of(tree, L"KxOperators"), std::vector<std::wstring>{L"svc_kx"});
    EXPECT_EQ(members_of(tree, L"Users"), std::vector<std::wstring>{L"svc_kx"});

    // Names are unique without regard to case: another case is absent to the exact test and
    // then refused by the database.
    EXPECT_EQ(answer_of("createntuser", {host, L"SVC_KX", L"x", L"KxOperators"}), 4);
    EXPECT_EQ(answer_of("createntuser", {L"elsewhere", L"svc_kx", L"x", L"KxOperators"}), 1);
    // A group name taken by a user cannot be created.
    EXPECT_EQ(answer_of("createntuser", {host, L"svc_kx", L"x", L"Administrator"}), 2);
}

TEST_F(Accounts, QueriesAndRemovals)
{
    const std::wstring iusr = L"IUSR_" + host;
    EXPECT_EQ(answer_of("checkuser", {host, L"Administrator"}), 0);
    EXPECT_EQ(answer_of("checkuser", {host, L"administrator"}), 1);

    EXPECT_EQ(answer_of("deletentuserfromgroup", {host, L"Guests", iusr}), 0);
    EXPECT_EQ(answer_of("deletentuserfromgroup", {host, L"Guests", iusr}), 2);  // no longer a member
    EXPECT_EQ(members_of(stored_accounts(), L"Guests"), (std::vector<std::wstring>{L"Guest", L"IWAM_" + host}));

    EXPECT_EQ(answer_of("deletentuser", {host, L"guest"}), 1);
    EXPECT_EQ(answer_of("deletentuser", {host, L"Guest"}), 0);
    EXPECT_EQ(members_of(stored_accounts(), L"Guests"), std::vector<std::wstring>{L"IWAM_" + host});
    EXPECT_EQ(answer_of("deletentgroup", {host, L"Users"}), 0);
    EXPECT_EQ(answer_of("deletentgroup", {host, L"Users"}), 1);
    EXPECT_EQ(stored_accounts().root.child(L"Users"), nullptr);
}

TEST_F(Accounts, TheInternetUserIsTheFirstWhoseNameHoldsIusrInAnyCase)
{
    kxsim::Tree tree;
    tree.root.add(L"Group", L"IUSR_group");  // not a user
    tree.root.add(L"User", L"portal_iusr_2");
    tree.root.add(L"User", L"IUSR_WEB");
    store_accounts(tree);
    Answer found, unreachable;
    call("getinternetuser", L"getinternetuser", {host, Argument::variable(L"before")}, found);
    EXPECT_EQ(found.number(), 0);
    EXPECT_EQ(found.after[1], L"portal_iusr_2");
    call("getinternetuser", L"getinternetuser", {L"elsewhere", Argument::variable(L"before")}, unreachable);
    EXPECT_EQ(unreachable.number(), 1);
    EXPECT_EQ(unreachable.after[1], L"before");
}

TEST_F(Accounts, ScriptsAndTheDirectoryServiceReachTheDatabase)
{
    ScriptHost script;
    ASSERT_TRUE(script.run(L"Dim computer, groups, item, guests, names, user, member\n"
                           L"Set computer = GetObject(\"WinNT://" + host + L"\")\n"
                           L"computer.Filter = Array(\"group\")\n"
                           L"For Each item In computer : groups = groups & item.Name & \";\" : Next\n"
                           L"Set guests = computer.GetObject(\"group\", \"Guests\")\n"
                           L"member = CStr(guests.IsMember(\"winnt://" + host + L"/guest\"))\n"
                           L"For Each item In guests.Members : names = names & item.Name & \";\" : Next\n"
                           L"Set user = computer.Create(\"user\", \"scripted\")\n"
                           L"user.SetInfo\n"
                           L"user.Put \"userFlags\", user.Get(\"UserFlags\") Or 2\n"
                           L"user.SetInfo\n"
                           L"user.SetPassword \"pw\"\n"
                           L"guests.Add \"WinNT://" + host + L"/Scripted\"\n"
                           L"Set user = Nothing : Set guests = Nothing\n"
                           L"computer.DELETE \"user\", \"guest\"\n"))
        << std::string(script.error().begin(), script.error().end());
    EXPECT_EQ(script.evaluate(L"groups"), L"Administrators;Users;Guests;");
    EXPECT_EQ(script.evaluate(L"member"), L"True");
    EXPECT_EQ(script.evaluate(L"names"), L"Guest;IUSR_" + host + L";IWAM_" + host + L";");
    const kxsim::Tree tree = stored_accounts();
    EXPECT_EQ(flags_of(tree, L"scripted"), 0x203);
    EXPECT_TRUE(password_is(tree, L"scripted", L"pw"));
    EXPECT_EQ(members_of(tree, L"Guests"), (std::vector<std::wstring>{L"IUSR_" + host, L"IWAM_" + host, L"scripted"}));
    live_before_ = live_objects();  // the script engine keeps the moniker of its GetObject

    // The real provider's statuses.
    ComPtr<IADsContainer> computer;
    ASSERT_EQ(ADsOpenObject((L"WinNT://" + host).c_str(), nullptr, nullptr, 0, IID_IADsContainer,
                            reinterpret_cast<void**>(computer.GetAddressOf())),
              S_OK);
    ComPtr<IDispatch> object;
    Text group(L"group"), user(L"user"), nobody(L"nobody"), admins(L"administrators");
    EXPECT_EQ(computer->GetObject(group.bstr, nobody.bstr, &object), HRESULT_FROM_WIN32(ERROR_NO_SUCH_ALIAS));
    EXPECT_EQ(computer->GetObject(group.bstr, Text(L"Administrator").bstr, &object), HRESULT_FROM_WIN32(ERROR_NO_SUCH_ALIAS));
    EXPECT_EQ(computer->Delete(user.bstr, nobody.bstr), HRESULT_FROM_WIN32(2221));
    ASSERT_EQ(computer->Create(group.bstr, admins.bstr, &object), S_OK);
    ComPtr<IADs> twin;
    ASSERT_EQ(object->QueryInterface(IID_IADs, reinterpret_cast<void**>(twin.GetAddressOf())), S_OK);
    EXPECT_EQ(twin->SetInfo(), HRESULT_FROM_WIN32(ERROR_ALIAS_EXISTS));
    ComPtr<IADs> elsewhere;
    EXPECT_EQ(ADsGetObject(L"WinNT://elsewhere", IID_IADs, reinterpret_cast<void**>(elsewhere.GetAddressOf())),
              HRESULT_FROM_WIN32(ERROR_BAD_NETPATH));
}

}  // namespace
}  // namespace kx::test
