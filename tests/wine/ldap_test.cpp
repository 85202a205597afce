// The directory server operations through COM against two real OpenLDAP servers that the test
// runner started (tools/with_slapd.py says what they hold), and the LDAP: stand-in as
// scripts and the directory service see it.
#include <iads.h>
#include <adshlp.h>

#include "script_host.h"
#include "simulated_server.h"

namespace kx::test {
namespace {

class Ldap : public SimulatedServer
{
protected:
    void SetUp() override
    {
        SimulatedServer::SetUp();
        if (port.empty())
            GTEST_SKIP() << "no LDAP server: run through tools/with_slapd.py";
    }

    const std::wstring port = environment(L"KX_LDAP_PORT"), closed = environment(L"KX_LDAP_CLOSED_PORT");
    const bool default_port = environment(L"KX_LDAP_DEFAULT_PORT") == L"1";
    const std::wstring host = L"127.0.0.1", admin = L"cn=admin,o=Norvane", reader = L"cn=reader,o=Norvane";
};

TEST_F(Ldap, TheServerCheckBindsWithoutAndWithCredentials)
{
    struct Case
    {
        std::wstring port, user, password;
        long answer;
    };
    for (const Case& c : {Case{port, admin, L"wrong", 3}, Case{L"1", admin, L"admin-pw", 3}, Case{L"", admin, L"admin-pw", 3},
                          Case{closed, admin, L"admin-pw", 3},  // no anonymous bind there
                          Case{port, L"cn=nobody,o=Norvane", L"x", 3}})
        EXPECT_EQ(answer_of("checkldapserver", {host, c.port, c.user, c.password}), c.answer)
            << std::string(c.port.begin(), c.port.end());
    // The first binding has no port: the server must answer at LDAP's own, 389.
    EXPECT_EQ(answer_of("checkldapserver", {host, port, admin, L"admin-pw"}), default_port ? 0 : 3);
}

TEST_F(Ldap, SuffixesWithoutARootEntryAreListedAndTested)
{
    Answer list;
    call("getldapentries", L"getldapentries", {host, port, admin, L"admin-pw"}, list);
    EXPECT_EQ(list.list(), (std::vector<std::wstring>{L"", L"o=Missing", L"O=Upper"}));  // dc= never
    Answer solo;  // a single value taken as a list of one
    call("getldapentries", L"getldapentries", {host, closed, admin, L"admin-pw"}, solo);
    EXPECT_EQ(solo.list(), (std::vector<std::wstring>{L"", L"o=Solo"}));

    struct Case
    {
        const wchar_t* entry;
        long answer;
    };
    for (const Case& c : {Case{L"o=Missing", 1}, Case{L"O=Upper", 1}, Case{L"o=missing", 0}, Case{L"o=Norvane", 0},
                          Case{L"dc=example,dc=com", 0}, Case{L"", 0}})
        EXPECT_EQ(answer_of("checkldapentryexcist", {host, port, admin, L"admin-pw", c.entry}), c.answer) << c.entry;

    // The walk's first steps are raised: a wrong password, a configuration entry that cannot be read.
    for (const auto& [user, password, server] : {std::tuple{admin, std::wstring(L"wrong"), port},
                                                 std::tuple{reader, std::wstring(L"reader-pw"), closed},
                                                 std::tuple{admin, std::wstring(L"admin-pw"), std::wstring(L"1")}}) {
        Answer raised, tested;
        call("getldapentries", L"getldapentries", {host, server, user, password}, raised);
        call("checkldapentryexcist", L"checkldapentryexcist", {host, server, user, password, L"o=Missing"}, tested);
        EXPECT_TRUE(FAILED(raised.status) && FAILED(tested.status)) << std::string(user.begin(), user.end());
        EXPECT_EQ(raised.description.find(password), std::wstring::npos);
    }
}

TEST_F(Ldap, TheStoredPasswordIsReadOrLeftAlone)
{
    Answer read;
    call("getntuserpassword", L"getntuserpassword", {host, port, admin, L"admin-pw", 42L}, read);
    EXPECT_EQ(read.number(), 0);
    struct Case
    {
        std::wstring port, user, password;
    };
    for (const Case& c : {Case{port, reader, L"reader-pw"},  // may bind, may not read the attribute
                          Case{port, admin, L"wrong"}, Case{closed, admin, L"admin-pw"},  // no attribute there
                          Case{L"1", admin, L"admin-pw"}}) {
        Answer left;
        call("getntuserpassword", L"getntuserpassword",
             {host, c.port, c.user, c.password, Argument::variable(L"before")}, left);
        EXPECT_EQ(left.number(), 1);
        EXPECT_EQ(left.after[4], L"before");
    }
    Answer replaced;
    call("getntuserpassword", L"getntuserpassword", {host, port, admin, L"admin-pw", Argument::variable(L"before")},
         replaced);
    EXPECT_EQ(replaced.after[4], L"S3cret-from-ldap");

    // An attribute of binary syntax comes as bytes, and reaches pwd as they came.
    Answer bytes;
    call("getntuserpassword", L"getntuserpassword",
         {host, environment(L"KX_LDAP_BINARY_PORT"), admin, L"admin-pw", Argument::variable(L"before")}, bytes);
    EXPECT_EQ(bytes.number(), 0);
    EXPECT_EQ(bytes.values_after[4], kx::Variant(kx::Variant::Bytes{0x00, 'S', '3', 'c', 'r', 'e', 't', 0xFF}));
}

TEST_F(Ldap, CarelessArgumentsGiveAResultOrAClearError)
{
    for (const std::wstring& value : {std::wstring(), std::wstring(1 << 20, L'a'), std::wstring(L"o=\0x", 4),
                                      std::wstring(L"\u00e9\U0001F600"), std::wstring(L"a/b:c")})
        for (const char* member : {"checkldapserver", "getldapentries", "checkldapentryexcist"}) {
            std::vector<Argument> args{host, port, value, value};
            if (std::string(member) == "checkldapentryexcist")
                args.emplace_back(value);
            Answer a;
            call(member, widen(member).c_str(), args, a);
            EXPECT_TRUE(SUCCEEDED(a.status) || !a.description.empty()) << member;
        }
}

TEST_F(Ldap, ScriptsAndTheDirectoryServiceReachTheServer)
{
    ScriptHost script;
    ASSERT_TRUE(script.run(L"Dim entry, missing, account, secret\n"
                           L"Set entry = GetObject(\"LDAP://127.0.0.1:" + port + L"/o=Norvane\")\n"
                           L"entry.GetInfo\n"
                           L"On Error Resume Next\n"
                           L"GetObject(\"LDAP://127.0.0.1:" + port + L"/o=Missing\")\n"
                           L"missing = Hex(Err.Number)\n"
                           L"On Error GoTo 0\n"
                           L"Set account = GetObject(\"LDAP:\").OpenDSObject(\"LDAP://127.0.0.1:" + port +
                           L"/cn=2,ou=Accounts,o=Norvane\", \"cn=admin,o=Norvane\", \"admin-pw\", 0)\n"
                           L"secret = account.Get(\"nvxpassword\")\n"
                           L"Set account = Nothing\n"))
        << std::string(script.error().begin(), script.error().end());
    EXPECT_EQ(script.evaluate(L"entry.o"), L"Norvane");
    EXPECT_EQ(script.evaluate(L"entry.Get(\"objectClass\")"), L"organization");
    EXPECT_NE(script.evaluate(L"missing"), L"0");  // Wine's GetObject reports any failure as a syntax error
    EXPECT_EQ(script.evaluate(L"secret"), L"S3cret-from-ldap");
    live_before_ = live_objects();  // the script engine keeps its monikers

    ComPtr<IADsOpenDSObject> space;
    ASSERT_EQ(ADsGetObject(L"LDAP:", IID_IADsOpenDSObject, reinterpret_cast<void**>(space.GetAddressOf())), S_OK);
    ComPtr<IDispatch> object;
    Text path(L"LDAP://127.0.0.1:" + port + L"/cn=2,ou=Accounts,o=Norvane"), user(admin), wrong(L"wrong");
    EXPECT_EQ(space->OpenDSObject(path.bstr, user.bstr, wrong.bstr, 0, &object), HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE));
    Text down(L"LDAP://127.0.0.1:1");
    EXPECT_EQ(space->OpenDSObject(down.bstr, nullptr, nullptr, 0, &object), HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN));
}

}  // namespace
}  // namespace kx::test
