// The web and FTP site operations through COM against the simulated web server: what the
// stand-in's order and statuses and the frame's conversions make of them, read back through
// the directory service. The operations' own rules are the host tests'.
#include "script_host.h"
#include "simulated_server.h"

namespace kx::test {
namespace {

using WebServer = SimulatedServer;

constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);

TEST_F(WebServer, LookupsAnswerInTheStoresOrderWithItsStatuses)
{
    store(machine_with({{L"1", L"Shop", {L":80:"}}, {L"3", L"Shop", {L":81:", L":82:"}}, {L"7", L""}}));
    EXPECT_EQ(answer_of("getwebid", {L"Shop"}), 3);
    Answer port, list, empty, mismatch;
    call("getwebport", L"getwebport", {L"Shop"}, port);
    EXPECT_EQ(port.text(), L":81:");
    call("getwebsitelist", L"getwebsitelist", {}, list);
    EXPECT_EQ(list.list(), (std::vector<std::wstring>{L"", L"Shop", L"Shop", L""}));

    store(machine_with({}));
    call("getwebsitelist", L"getwebsitelist", {}, empty);
    EXPECT_TRUE(empty.unallocated());
    store(machine_with({{L"first", L"Shop", {}}}));
    call("getwebid", L"getwebid", {L"Shop"}, mismatch);
    EXPECT_EQ(mismatch.status, static_cast<HRESULT>(0x800A000D));
    EXPECT_EQ(mismatch.description, L"Type mismatch");

    kxsim::Tree tree = kxsim::iis::fresh_machine();  // no web server
    tree.root.remove(L"W3SVC");
    store(tree);
    Answer none;
    call("getwebportsecure", L"getwebportsecure", {L"Shop"}, none);
    EXPECT_EQ(none.status, kPathNotFound);
}

TEST_F(WebServer, ASiteWithAnApplicationPermissionsAndFiltersComesAndGoes)
{
    ASSERT_EQ(answer_of("getfreewebid", {}), 2);
    EXPECT_EQ(answer_of("createwebroot", {L"2", L"Shop", 1L, L":8080:", L":8443:", L"c:\\shop"}), 0);
    EXPECT_EQ(property_at(L"IIS://LocalHost/W3SVC/2", L"ServerBindings"),
              kx::Variant(kx::Variant::List{kx::Variant(L":8080:")}));
    EXPECT_EQ(property_at(L"IIS://LocalHost/W3SVC/2/ROOT", L"Path"), kx::Variant(L"c:\\shop"));
    EXPECT_EQ(answer_of("getwebid", {L"Shop"}), 2);
    Answer again;
    call("createwebroot", L"createwebroot", {L"2", L"Twin", 1L, L":80:", L"", L"c:\\x"}, again);
    EXPECT_EQ(again.status, static_cast<HRESULT>(0x800700B7));
    EXPECT_EQ(answer_of("startwebsite", {L"2"}), 0);
    EXPECT_EQ(property_at(L"IIS://LocalHost/W3SVC/2", L"ServerState"), kx::Variant(int32_t(2)));

    const wchar_t* app = L"IIS://LocalHost/W3SVC/2/ROOT/app";
    EXPECT_EQ(answer_of("createwebsite", {L"c:\\app", L"2", L"app", L"App"}), 0);
    EXPECT_EQ(property_at(app, L"AppRoot"), kx::Variant(L"/LM/w3svc/2/root/app"));
    EXPECT_EQ(answer_of("setwebpermission", {L"LocalHost", L"2", L"images", L"rw"}), 0);
    EXPECT_EQ(property_at(L"IIS://LocalHost/W3SVC/2/ROOT/images", L"AccessWrite"), kx::Variant(true));
    EXPECT_EQ(answer_of("getnumberofvirtualdirectories", {L"2"}), 1);
    Answer remote;
    call("setwebpermission", L"setwebpermission", {L"faraway", L"2", L"dir", L"R"}, remote);
    EXPECT_EQ(remote.status, HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));

    // Filters: whichever site is named, uninstalling works on the first site's.
    EXPECT_EQ(answer_of("installisapifilter", {L"1", L"a", L"c:\\a.dll", L"Auth"}), 0);
    EXPECT_EQ(answer_of("installisapifilter", {L"1", L"b", L"c:\\b.dll", L"Zip"}), 0);
    EXPECT_EQ(property_at(L"IIS://LocalHost/W3SVC/1/Filters", L"FilterLoadOrder"), kx::Variant(L"a,b"));
    EXPECT_EQ(answer_of("uninstallisapifilter", {L"2", L"", L"", L"Auth"}), 0);
    EXPECT_EQ(property_at(L"IIS://LocalHost/W3SVC/1/Filters", L"FilterLoadOrder"), kx::Variant(L"b"));

    // The stand-in's AppDelete takes the application and leaves the directory to the delete.
    EXPECT_EQ(answer_of("deletevirtualdirectory", {L"2", L"app"}), 0);
    EXPECT_EQ(stored().find({L"W3SVC", L"2", L"ROOT", L"app"}), nullptr);
    EXPECT_EQ(answer_of("deletewebroot", {L"2"}), 0);
    EXPECT_EQ(answer_of("getwebid", {L"Shop"}), 0);
}

TEST_F(WebServer, AnFtpSiteTakesAScriptsPortVariableAndComesAndGoes)
{
    ScriptHost host;
    ASSERT_TRUE(host.run(L"Dim port, code\n"
                         L"port = \"2121\"\n"
                         L"code = CreateObject(\"Kestrix.createftpsite\").createftpsite(\"2\", \"Uploads\", port, \"c:\\up\")\n"))
        << std::string(host.error().begin(), host.error().end());
    EXPECT_EQ(host.evaluate(L"code"), L"0");
    EXPECT_EQ(host.evaluate(L"port"), L":2121:");
    EXPECT_EQ(property_at(L"IIS://LocalHost/MSFTPSVC/2/ROOT", L"AccessWrite"), kx::Variant(true));
    EXPECT_EQ(answer_of("getftpid", {L"Uploads"}), 2);
    EXPECT_EQ(answer_of("stopftpsite", {L"2"}), 0);
    EXPECT_EQ(property_at(L"IIS://LocalHost/MSFTPSVC/2", L"ServerState"), kx::Variant(int32_t(4)));
    EXPECT_EQ(answer_of("deleteftpsite", {L"2"}), 0);
    EXPECT_EQ(answer_of("getftpid", {L"Uploads"}), 0);
}

}  // namespace
}  // namespace kx::test
