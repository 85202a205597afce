// The directory server operations through COM against two real OpenLDAP servers that the test
// runner started (tools/with_slapd.py says what they hold), and the LDAP: stand-in as the
// directory service sees it.
#include <iads.h>
#include <adshlp.h>

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
    const Answer list = call("getldapentries", L"getldapentries", {host, port, admin, L"admin-pw"});
    EXPECT_EQ(list.list(), (std::vector<std::wstring>{L"", L"o=Missing", L"O=Upper"}));  // dc= never
    const Answer solo = call("getldapentries", L"getldapentries", {host, closed, admin, L"admin-pw"});
    EXPECT_EQ(solo.list(), (std::vector<std::wstring>{L"", L"o=Solo"}));  // a single value taken as a list of one

    struct Case
    {
        const wchar_t* entry;
        long answer;
    };
    for (const Case& c : {Case{L"o=Missing", 1}, Case{L"O=Upper", 1}, Case{L"o=missing", 0}, Case{L"o=Norvane", 0},
                          Case{L"dc=example,dc=com", 0}, Case{L"", 0}})
        EXPECT_EQ(answer_of("checkldapentryexcist", {host, port, admin, L"admin-pw", c.entry}), c.answer) << c.entry;

    // The walk's first steps are raised with the directory's status: a wrong password, a
    // configuration entry that cannot be read, a server that is down.
    for (const auto& [user, password, server, status] :
         {std::tuple{admin, std::wstring(L"wrong"), port, HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE)},
          std::tuple{reader, std::wstring(L"reader-pw"), closed, HRESULT(0)},
          std::tuple{admin, std::wstring(L"admin-pw"), std::wstring(L"1"), HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN)}}) {
        const Answer raised = call("getldapentries", L"getldapentries", {host, server, user, password});
        const Answer tested =
            call("checkldapentryexcist", L"checkldapentryexcist", {host, server, user, password, L"o=Missing"});
        EXPECT_TRUE(FAILED(raised.status) && FAILED(tested.status)) << std::string(user.begin(), user.end());
        EXPECT_TRUE(!status || raised.status == status) << std::string(user.begin(), user.end()) << " " << raised.status;
        EXPECT_EQ(raised.description.find(password), std::wstring::npos);
    }
}

TEST_F(Ldap, TheStoredPasswordIsReadOrLeftAlone)
{
    const Answer read = call("getntuserpassword", L"getntuserpassword", {host, port, admin, L"admin-pw", 42L});
    EXPECT_EQ(read.number(), 0);
    struct Case
    {
        std::wstring port, user, password;
    };
    for (const Case& c : {Case{port, reader, L"reader-pw"},  // may bind, may not read the attribute
                          Case{port, admin, L"wrong"}, Case{closed, admin, L"admin-pw"},  // no attribute there
                          Case{L"1", admin, L"admin-pw"}}) {
        const Answer left = call("getntuserpassword", L"getntuserpassword",
                                 {host, c.port, c.user, c.password, Argument::variable(L"before")});
        EXPECT_EQ(left.number(), 1);
        EXPECT_EQ(left.after[4], L"before");
    }
    const Answer replaced = call("getntuserpassword", L"getntuserpassword",
                                {host, port, admin, L"admin-pw", Argument::variable(L"before")});
    EXPECT_EQ(replaced.after[4], L"S3cret-from-ldap");

    // An attribute of binary syntax comes as bytes, and reaches pwd as they came.
    const Answer bytes =
        call("getntuserpassword", L"getntuserpassword",
             {host, environment(L"KX_LDAP_BINARY_PORT"), admin, L"admin-pw", Argument::variable(L"before")});
    EXPECT_EQ(bytes.number(), 0);
    EXPECT_EQ(bytes.values_after[4], kx::Variant(kx::Variant::Bytes{0x00, 'S', '3', 'c', 'r', 'e', 't', 0xFF}));
}

}  // namespace
}  // namespace kx::test
