// The stand-ins themselves: a damaged store, what the directory service sees of them, and
// passwords kept as digests only.
#include <iads.h>
#include <adshlp.h>

#include <fstream>
#include <iterator>

#include "simulated_server.h"

namespace kx::test {
namespace {

using Simulation = SimulatedServer;

const std::wstring host = kxsim::winnt::computer_name();

bool password_is(const kxsim::Tree& tree, const wchar_t* user, const wchar_t* password)
{
    const kxsim::Node* node = tree.root.child(user);
    const kx::Variant* digest = node ? node->property(kxsim::winnt::kPasswordProperty) : nullptr;
    return digest && kxsim::winnt::password_matches(digest->as<std::wstring>(), password);
}

TEST_F(Simulation, ADamagedStoreIsAnErrorAndIsLeftAsItIs)
{
    const char damage[] = "node IIsWebService \"W3SVC\"\n  ServerComment string \"open\n";
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, damage, sizeof damage - 1, &written, nullptr);
    CloseHandle(file);

    const Answer id = call("getwebid", L"getwebid", {L"Shop"});
    EXPECT_EQ(id.status, HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    EXPECT_NE(id.description.find(L"damaged"), std::wstring::npos);
    EXPECT_NE(id.description.find(L"line 2"), std::wstring::npos);
    const Answer deleted = call("deletewebroot", L"deletewebroot", {L"1"});
    EXPECT_EQ(deleted.number(), 2);

    char back[256] = {};
    file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ReadFile(file, back, sizeof back - 1, &written, nullptr);
    CloseHandle(file);
    EXPECT_STREQ(back, damage);

    DeleteFileW(path_.c_str());
    const Answer none = call("getwebid", L"getwebid", {L"Shop"});
    EXPECT_EQ(none.status, static_cast<HRESULT>(0x80005000));
}

// The configuration store enumerates by index: a child deleted during a walk shifts the rest
// down, and the walk skips the one after it (a chosen model; the strict case).
TEST_F(Simulation, AWalkThatDeletesSkipsTheChildAfterEachDeletion)
{
    store(machine_with({{L"1", L"a"}, {L"2", L"b"}, {L"3", L"c"}, {L"4", L"d"}}));
    ComPtr<IADsContainer> service;
    ASSERT_EQ(ADsGetObject(L"IIS://localhost/w3svc", IID_IADsContainer, reinterpret_cast<void**>(service.GetAddressOf())),
              S_OK);
    ComPtr<IUnknown> owner;
    ASSERT_EQ(service->get__NewEnum(&owner), S_OK);
    ComPtr<IEnumVARIANT> walk;
    ASSERT_EQ(owner.As(&walk), S_OK);
    std::vector<std::wstring> visited;
    for (;;) {
        Var child;
        ULONG fetched = 0;
        if (walk->Next(1, &child.v, &fetched) != S_OK || fetched == 0)
            break;
        ComPtr<IADs> ads;
        V_DISPATCH(&child.v)->QueryInterface(IID_IADs, reinterpret_cast<void**>(ads.GetAddressOf()));
        BSTR name = nullptr;
        ads->get_Name(&name);
        visited.emplace_back(name);
        EXPECT_EQ(service->Delete(com::Bstr(L"IIsWebServer").get(), name), S_OK);
        SysFreeString(name);
    }
    EXPECT_EQ(visited, (std::vector<std::wstring>{L"1", L"3"}));
    EXPECT_EQ(stored().find({L"W3SVC"})->children.size(), 2u);
}

// What the providers document, on each kind of server: a new user's SetInfo under the password
// policy (with a password given before it, or none), a flag as one bit of its flags property,
// and a read refused to a caller without rights.
TEST_F(Simulation, TheProvidersAnswerAsTheirDocumentationSaysOnEachServer)
{
    const HRESULT too_short = static_cast<HRESULT>(0x800708C5);
    const struct
    {
        const wchar_t *server, *password;
        HRESULT status;
    } cases[] = {{L"iis6", L"", S_OK}, {L"iis10-domain", L"", too_short}, {L"iis10-domain", L"shopshop1", too_short},
                 {L"iis10-domain", L"Svc_Shop#1", too_short}, {L"iis10-domain", L"Str0ng#pass", S_OK}};
    for (const auto& c : cases) {
        store_accounts(kxsim::winnt::fresh_machine(host, kxsim::profile_named(c.server)));
        ComPtr<IADsContainer> computer;
        ComPtr<IDispatch> user;
        ASSERT_EQ(ADsGetObject((L"WinNT://" + host + L",computer").c_str(), IID_IADsContainer,
                               reinterpret_cast<void**>(computer.GetAddressOf())), S_OK);
        ASSERT_EQ(computer->Create(com::Bstr(L"user").get(), com::Bstr(L"svc_shop").get(), &user), S_OK);
        com::Bstr password(c.password);
        VARIANTARG arg = text_arg(password.get());
        if (*c.password)
            EXPECT_EQ(invoke(user.Get(), L"SetPassword", &arg, 1, nullptr).status, S_OK);
        const Invoked saved = invoke(user.Get(), L"SetInfo", nullptr, 0, nullptr);
        EXPECT_EQ(saved.status == DISP_E_EXCEPTION ? saved.scode : saved.status, c.status) << c.server << " " << c.password;
    }

    ComPtr<IADs> root;
    ASSERT_EQ(ADsGetObject(L"IIS://localhost/W3SVC/1/ROOT", IID_IADs, reinterpret_cast<void**>(root.GetAddressOf())), S_OK);
    Var on;
    V_VT(&on.v) = VT_BOOL;
    V_BOOL(&on.v) = VARIANT_TRUE;
    EXPECT_EQ(root->Put(com::Bstr(L"AccessScript").get(), on.v), S_OK);
    EXPECT_EQ(root->SetInfo(), S_OK);
    EXPECT_EQ(property_at(L"IIS://localhost/W3SVC/1/ROOT", L"AccessFlags"), kx::Variant(int32_t(0x201)));
    EXPECT_EQ(property_at(L"IIS://localhost/W3SVC/1/ROOT", L"AccessRead"), kx::Variant(true));

    kxsim::Tree refusing = stored_accounts();
    refusing.root.set(kxsim::kRefusedSteps, kx::Variant(kx::Variant::List{kx::Variant(L"read-accounts")}));
    store_accounts(refusing);
    ComPtr<IADs> administrator;
    EXPECT_EQ(ADsGetObject((L"WinNT://" + host + L"/Administrator,user").c_str(), IID_IADs,
                           reinterpret_cast<void**>(administrator.GetAddressOf())), E_ACCESSDENIED);
}

// The members whose answers depend on the kind of server: an answer, or the status raised.
TEST_F(Simulation, KestrixAnswersAsEachKindOfServerMakesIt)
{
    struct Case
    {
        const char* member;
        std::vector<Argument> args;
        long iis6, iis10;  // a number answered, or a status raised (negative)
    };
    const long missing = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), cannot_create = 0x800A01AD;  // error 429
    const Case cases[] = {
        {"createntuser", {host, L"svc_kx", L"S3cret;pw", L"KxOperators"}, 0, 4},
        {"getinternetuser", {host, Argument::variable(L"")}, 0, 2},
        {"startftpsite", {Argument::variable(L"1")}, 0, 2},
        {"getfreeftpid", {}, 2, missing},
        {"createftpsite", {Argument::variable(L"3"), L"Up", Argument::variable(L"2100"), L"c:\\up"}, 0, 1},
        {"portscan", {L"127.0.0.1", L"1"}, 1, cannot_create},
    };
    for (const wchar_t* server : {L"iis6", L"iis10-domain"}) {
        const kxsim::Profile& profile = kxsim::profile_named(server);
        WinsockDouble control(profile.winsock_licensed);
        for (const Case& c : cases) {
            store(kxsim::iis::fresh_machine(profile));
            store_accounts(kxsim::winnt::fresh_machine(host, profile));
            const Answer a = call(c.member, widen(c.member).c_str(), c.args);
            const long want = &profile == &kxsim::profiles().front() ? c.iis6 : c.iis10;
            if (want < 0)
                EXPECT_EQ(a.status, static_cast<HRESULT>(want)) << c.member << " on " << server;
            else
                EXPECT_EQ(a.number(), want) << c.member << " on " << server;
        }
    }
}

TEST_F(Simulation, PasswordsAreKeptAsDigestsOnly)
{
    EXPECT_EQ(answer_of("createntuser", {host, L"svc_kx", L"S3cret;pw", L"KxOperators"}), 0);
    EXPECT_TRUE(password_is(stored_accounts(), L"svc_kx", L"S3cret;pw"));
    std::ifstream raw(std::string(accounts_path_.begin(), accounts_path_.end()), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(raw)), {});
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find("S3cret"), std::string::npos) << "a password stands in the store in clear";
}

}  // namespace
}  // namespace kx::test
