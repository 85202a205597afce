// Virtual directories, permissions, filters and FTP sites through COM against the simulated
// web server, read back through the directory service.
#include "script_host.h"
#include "simulated_server.h"

namespace kx::test {
namespace {

using Directories = SimulatedServer;
using FtpSites = SimulatedServer;

TEST_F(Directories, AnApplicationIsCreatedCountedAndDeleted)
{
    EXPECT_EQ(answer_of("getnumberofvirtualdirectories", {L"1"}), 0);
    EXPECT_EQ(answer_of("createwebsite", {L"c:\\shop", L"1", L"shop", L"Shop application"}), 0);
    EXPECT_EQ(answer_of("getnumberofvirtualdirectories", {L"1"}), 1);
    const wchar_t* shop = L"IIS://LocalHost/W3SVC/1/ROOT/shop";
    EXPECT_EQ(property_at(shop, L"Path"), kx::Variant(L"c:\\shop"));
    EXPECT_EQ(property_at(shop, L"AppRoot"), kx::Variant(L"/LM/w3svc/1/root/shop"));
    EXPECT_EQ(property_at(shop, L"AccessRead"), kx::Variant(true));
    EXPECT_EQ(property_at(shop, L"AccessScript"), kx::Variant(true));
    EXPECT_EQ(property_at(shop, L"EnableDefaultDoc"), kx::Variant(true));
    EXPECT_EQ(property_at(shop, L"AspEnableParentPaths"), kx::Variant(true));
    EXPECT_EQ(property_at(shop, L"AppFriendlyName"), kx::Variant(L"Shop application"));
    EXPECT_EQ(property_at(shop, L"AppIsolated"), kx::Variant(int16_t(0)));
    EXPECT_EQ(property_at(shop, L"EnableDirBrowsing"), kx::Variant(false));
    EXPECT_EQ(property_at(shop, L"AuthNTLM"), kx::Variant(false));

    // A virtual directory below another one, and a plain directory, are not counted.
    kxsim::Tree tree = stored();
    tree.find({L"W3SVC", L"1", L"ROOT", L"shop"})->add(L"IIsWebVirtualDir", L"deeper");
    store(tree);
    EXPECT_EQ(answer_of("setwebpermission", {L"localhost", L"1", L"images", L"R"}), 0);
    EXPECT_EQ(answer_of("getnumberofvirtualdirectories", {L"1"}), 1);

    EXPECT_EQ(answer_of("createwebsite", {L"c:\\x", L"9", L"x", L"X"}), 1);
    EXPECT_EQ(answer_of("createwebsite", {L"c:\\shop", L"1", L"shop", L"Again"}), 1);
    EXPECT_EQ(answer_of("getnumberofvirtualdirectories", {L"9"}), -1);

    EXPECT_EQ(answer_of("deletevirtualdirectory", {L"9", L"shop"}), 1);
    EXPECT_EQ(answer_of("deletevirtualdirectory", {L"1", L"none"}), 2);
    EXPECT_EQ(answer_of("deletevirtualdirectory", {L"1", L"images"}), 3);  // not a virtual directory

    // AppDelete takes the application definition and leaves the directory.
    {
        ComPtr<IDispatch> directory;
        ASSERT_EQ(ADsGetObject(shop, IID_IDispatch, reinterpret_cast<void**>(directory.GetAddressOf())), S_OK);
        Var ignored;
        EXPECT_EQ(invoke(directory.Get(), L"appdelete", nullptr, 0, &ignored.v).status, S_OK);
    }
    EXPECT_EQ(property_at(shop, L"AppRoot"), kx::Variant(kx::Null{}));
    EXPECT_EQ(property_at(shop, L"AppFriendlyName"), kx::Variant(kx::Null{}));
    EXPECT_EQ(property_at(shop, L"Path"), kx::Variant(L"c:\\shop"));
    EXPECT_EQ(answer_of("deletevirtualdirectory", {L"1", L"shop"}), 0);
    EXPECT_EQ(stored().find({L"W3SVC", L"1", L"ROOT", L"shop"}), nullptr);
    EXPECT_EQ(answer_of("getnumberofvirtualdirectories", {L"1"}), 0);
}

TEST_F(Directories, PermissionCodesOnExistingAndMissingDirectories)
{
    struct Case
    {
        const wchar_t* code;
        bool read, write, execute, script;
    };
    int n = 0;
    for (const Case& c : {Case{L"rw", true, true, false, true}, Case{L"X", false, false, true, true},
                          Case{L"S", false, false, false, false}, Case{L"Q", false, false, false, true},
                          Case{L"", false, false, false, true}}) {
        const std::wstring url = L"dir" + std::to_wstring(n++);
        for (int round = 0; round < 2; ++round) {  // first missing, then existing
            EXPECT_EQ(answer_of("setwebpermission", {L"LocalHost", L"1", url.c_str(), c.code}), 0);
            const std::wstring path = L"IIS://LocalHost/W3SVC/1/ROOT/" + url;
            EXPECT_EQ(property_at(path.c_str(), L"AccessRead"), kx::Variant(c.read)) << c.code;
            EXPECT_EQ(property_at(path.c_str(), L"AccessWrite"), kx::Variant(c.write)) << c.code;
            EXPECT_EQ(property_at(path.c_str(), L"AccessExecute"), kx::Variant(c.execute)) << c.code;
            EXPECT_EQ(property_at(path.c_str(), L"AccessScript"), kx::Variant(c.script)) << c.code;
            kxsim::Tree tree = stored();
            EXPECT_EQ(tree.find({L"W3SVC", L"1", L"ROOT", url})->class_name, L"IIsWebDirectory");
        }
    }
    Answer remote, missing;
    call("setwebpermission", L"setwebpermission", {L"faraway", L"1", L"dir", L"R"}, remote);
    EXPECT_EQ(remote.status, HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
    call("setwebpermission", L"setwebpermission", {L"localhost", L"9", L"dir", L"R"}, missing);
    EXPECT_EQ(missing.status, static_cast<HRESULT>(0x80070003));
}

TEST_F(Directories, FiltersKeepTheirLoadOrder)
{
    kxsim::Tree tree = machine_with({{L"1", L"Default Web Site"}, {L"3", L"Shop"}});
    store(tree);
    EXPECT_EQ(answer_of("installisapifilter", {L"1", L"a", L"c:\\a.dll", L"Auth"}), 0);
    EXPECT_EQ(property_at(L"IIS://LocalHost/W3SVC/1/Filters", L"FilterLoadOrder"), kx::Variant(L"a"));
    EXPECT_EQ(answer_of("installisapifilter", {L"1", L"a", L"c:\\a.dll", L"Auth"}), 1);
    EXPECT_EQ(property_at(L"IIS://LocalHost/W3SVC/1/Filters", L"FilterLoadOrder"), kx::Variant(L"a,a"));
    EXPECT_EQ(answer_of("installisapifilter", {L"1", L"b", L"c:\\b.dll", L"Compression"}), 0);
    EXPECT_EQ(answer_of("installisapifilter", {L"1", L"c", L"c:\\c.dll", L"Cache"}), 0);
    EXPECT_EQ(answer_of("installisapifilter", {L"1", L"d", L"c:\\d.dll", L"Compression"}), 0);
    EXPECT_EQ(answer_of("installisapifilter", {L"3", L"e", L"c:\\e.dll", L"Compression"}), 0);
    EXPECT_EQ(property_at(L"IIS://LocalHost/W3SVC/1/Filters/b", L"FilterState"), kx::Variant(int16_t(1)));
    EXPECT_EQ(property_at(L"IIS://LocalHost/W3SVC/1/Filters/b", L"NotifyOrderHigh"), kx::Variant(int16_t(1)));
    EXPECT_EQ(property_at(L"IIS://LocalHost/W3SVC/1/Filters/b", L"FilterPath"), kx::Variant(L"c:\\b.dll"));

    // Two filters share the description; site 3 is named and site 1 changed.
    EXPECT_EQ(answer_of("uninstallisapifilter", {L"3", L"b", L"c:\\b.dll", L"Compression"}), 0);
    EXPECT_EQ(property_at(L"IIS://LocalHost/W3SVC/1/Filters", L"FilterLoadOrder"), kx::Variant(L"a,c"));
    kxsim::Tree after = stored();
    EXPECT_EQ(after.find({L"W3SVC", L"1", L"Filters", L"b"}), nullptr);
    EXPECT_EQ(after.find({L"W3SVC", L"1", L"Filters", L"d"}), nullptr);
    EXPECT_NE(after.find({L"W3SVC", L"3", L"Filters", L"e"}), nullptr);

    tree = machine_with({{L"1", L"Default Web Site"}});
    store(tree);
    EXPECT_EQ(answer_of("uninstallisapifilter", {L"1", L"", L"", L"Auth"}), 1);
}

TEST_F(FtpSites, ASiteIsNumberedCreatedStartedStoppedAndDeleted)
{
    EXPECT_EQ(answer_of("getfreeftpid", {}), 2);
    EXPECT_EQ(answer_of("getftpid", {L"Default FTP Site"}), 1);
    Answer port;
    call("getftpport", L"getftpport", {L"Default FTP Site"}, port);
    EXPECT_EQ(port.text(), L":21:");

    // A script's variable for the port sees the binding string.
    ScriptHost host;
    ASSERT_TRUE(host.run(L"Dim port, code\n"
                         L"port = \"2121\"\n"
                         L"code = CreateObject(\"Kestrix.createftpsite\").createftpsite(\"2\", \"Uploads\", port, \"c:\\up\")\n"))
        << std::string(host.error().begin(), host.error().end());
    EXPECT_EQ(host.evaluate(L"code"), L"0");
    EXPECT_EQ(host.evaluate(L"port"), L":2121:");

    const wchar_t* site = L"IIS://LocalHost/MSFTPSVC/2";
    EXPECT_EQ(property_at(site, L"ServerComment"), kx::Variant(L"Uploads"));
    EXPECT_EQ(property_at(site, L"ServerBindings"), kx::Variant(kx::Variant::List{kx::Variant(L":2121:")}));
    EXPECT_EQ(property_at(site, L"LogType"), kx::Variant(int16_t(1)));
    EXPECT_EQ(property_at(L"IIS://LocalHost/MSFTPSVC/2/ROOT", L"Path"), kx::Variant(L"c:\\up"));
    EXPECT_EQ(property_at(L"IIS://LocalHost/MSFTPSVC/2/ROOT", L"AccessWrite"), kx::Variant(true));
    EXPECT_EQ(property_at(L"IIS://LocalHost/MSFTPSVC/2/ROOT", L"AccessRead"), kx::Variant(false));
    EXPECT_EQ(answer_of("getftpid", {L"Uploads"}), 2);

    EXPECT_EQ(answer_of("startftpsite", {L"2"}), 0);
    EXPECT_EQ(property_at(site, L"ServerState"), kx::Variant(int32_t(2)));
    EXPECT_EQ(answer_of("stopftpsite", {L"2"}), 0);
    EXPECT_EQ(property_at(site, L"ServerState"), kx::Variant(int32_t(4)));
    EXPECT_EQ(answer_of("startftpsite", {L"8"}), 2);
    EXPECT_EQ(answer_of("stopftpsite", {L"8"}), 1);

    EXPECT_EQ(answer_of("createftpsite", {L"2", L"Twin", L"21", L"c:\\twin"}), 2);
    EXPECT_EQ(answer_of("deleteftpsite", {L"2"}), 0);
    EXPECT_EQ(answer_of("deleteftpsite", {L"2"}), 2);
    EXPECT_EQ(answer_of("getftpid", {L"Uploads"}), 0);

    kxsim::Tree tree = kxsim::iis::fresh_machine();
    tree.root.remove(L"MSFTPSVC");
    store(tree);
    EXPECT_EQ(answer_of("createftpsite", {L"2", L"Uploads", L"21", L"c:\\up"}), 1);
    Answer none;
    call("getfreeftpid", L"getfreeftpid", {}, none);
    EXPECT_EQ(none.status, static_cast<HRESULT>(0x80070003));
}

}  // namespace
}  // namespace kx::test
