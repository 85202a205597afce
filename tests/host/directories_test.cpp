// Virtual directories, permissions and filters against the in-memory directory: each stage's
// code, and what earlier stages leave behind.
#include <gtest/gtest.h>

#include "operation_test.h"
#include "web/operations.h"

namespace kx::test {
namespace {

using namespace kx::web;

class Directories : public OperationTest
{
protected:
    // Site 3 with its root, a virtual directory "shop" and a plain directory "img".
    void reset() override
    {
        directory.web().root.children.clear();
        directory.before = nullptr;
        directory.add_site({L"1", L"Default Web Site"});
        directory.add_site({L"3", L"Shop"});
        directory.add(L"W3SVC/3", L"IIsWebVirtualDir", L"ROOT");
        directory.add(L"W3SVC/3/ROOT", L"IIsWebVirtualDir", L"shop", {{L"AppRoot", Variant(L"/LM/w3svc/3/root/shop")}});
        directory.add(L"W3SVC/3/ROOT", L"IIsWebDirectory", L"img");
    }
    Variant stored(const String& path, const wchar_t* property)
    {
        const Variant value = value_of(directory.find(path), property);
        return value.holds<kx::Empty>() ? Variant(Null{}) : value;
    }
};

TEST_F(Directories, CreateWebSiteWritesAnApplicationOrNothing)
{
    EXPECT_EQ(createwebsite(platform, L"c:\\books", L"3", L"books", L"Books"), 0);
    Node* books = directory.find(L"W3SVC/3/ROOT/books");
    ASSERT_NE(books, nullptr);
    EXPECT_EQ(books->class_name, L"IIsWebVirtualDir");
    EXPECT_EQ(stored(L"W3SVC/3/ROOT/books", L"approot"), Variant(L"/LM/w3svc/3/root/books"));
    EXPECT_EQ(stored(L"W3SVC/3/ROOT/books", L"appisolated"), Variant(int16_t(0)));
    EXPECT_EQ(stored(L"W3SVC/3/ROOT/books", L"enabledirbrowsing"), Variant(false));
    EXPECT_EQ(stored(L"W3SVC/3/ROOT/books", L"authntlm"), Variant(false));
    EXPECT_EQ(stored(L"W3SVC/3/ROOT/books", L"appfriendlyname"), Variant(L"Books"));
    EXPECT_EQ(getnumberofvirtualdirectories(platform, L"3"), 2);

    for (const char* step : {"bind IIS://Localhost/W3SVC/3/root", "create IIsWebVirtualDir cds",
                             "set_property Path", "set_property AuthNTLM", "set_info"}) {
        reset();
        directory.fail_at(step, 1, kAccessDenied);
        EXPECT_EQ(createwebsite(platform, L"c:\\cds", L"3", L"cds", L"CDs"), 1) << step;
        EXPECT_EQ(directory.find(L"W3SVC/3/ROOT/cds"), nullptr) << step;
    }
    reset();
    EXPECT_EQ(createwebsite(platform, L"c:\\x", L"9", L"x", L"X"), 1);
}

TEST_F(Directories, DeleteVirtualDirectoryAnswersTheStageThatFailed)
{
    EXPECT_EQ(deletevirtualdirectory(platform, L"9", L"shop"), 1);
    EXPECT_EQ(deletevirtualdirectory(platform, L"3", L"none"), 2);
    directory.fail_at("call AppDelete", 1, kAccessDenied);
    EXPECT_EQ(deletevirtualdirectory(platform, L"3", L"shop"), 3);
    EXPECT_NE(directory.find(L"W3SVC/3/ROOT/shop"), nullptr);

    reset();
    directory.fail_at("remove IIsWebVirtualDir shop", 1, kAccessDenied);
    EXPECT_EQ(deletevirtualdirectory(platform, L"3", L"shop"), 3);
    EXPECT_NE(directory.find(L"W3SVC/3/ROOT/shop"), nullptr);
    EXPECT_EQ(stored(L"W3SVC/3/ROOT/shop", L"AppRoot"), Variant(Null{}));  // the application stays removed

    reset();
    EXPECT_EQ(deletevirtualdirectory(platform, L"3", L"SHOP"), 0);
    EXPECT_EQ(directory.find(L"W3SVC/3/ROOT/shop"), nullptr);
    // A plain directory is no virtual directory: its class does not match.
    EXPECT_EQ(deletevirtualdirectory(platform, L"3", L"img"), 3);
}

TEST_F(Directories, CountingVirtualDirectoriesTakesOnlyDirectChildrenOfThatClass)
{
    directory.add(L"W3SVC/3/ROOT/shop", L"IIsWebVirtualDir", L"deeper");
    EXPECT_EQ(getnumberofvirtualdirectories(platform, L"3"), 1);
    EXPECT_EQ(getnumberofvirtualdirectories(platform, L"9"), -1);
    directory.fail_at("class", 2, kAccessDenied);
    EXPECT_EQ(getnumberofvirtualdirectories(platform, L"3"), -1);
    directory.before = nullptr;
    for (int n = 0; n < 32767; ++n)
        directory.add(L"W3SVC/3/ROOT", L"IIsWebVirtualDir", L"v" + std::to_wstring(n));
    EXPECT_EQ(getnumberofvirtualdirectories(platform, L"3"), -1);  // the counter overflows
}

TEST_F(Directories, PermissionLettersSetTheFourFlags)
{
    struct Case
    {
        const wchar_t* code;
        bool read, write, execute, script;
    };
    for (const Case& c : {Case{L"rw", true, true, false, true}, Case{L"X", false, false, true, true},
                          Case{L"S", false, false, false, false}, Case{L"Q", false, false, false, true},
                          Case{L"", false, false, false, true}, Case{L"sR", true, false, false, false},
                          Case{L"xXwWrR", true, true, true, true}}) {
        for (const wchar_t* url : {L"img", L"new"}) {
            reset();
            EXPECT_EQ(setwebpermission(platform, L"localhost", L"3", url, c.code), 0);
            const String path = String(L"W3SVC/3/ROOT/") + url;
            ASSERT_NE(directory.find(path), nullptr);
            EXPECT_EQ(directory.find(path)->class_name, L"IIsWebDirectory");
            EXPECT_EQ(stored(path, L"accessread"), Variant(c.read)) << c.code;
            EXPECT_EQ(stored(path, L"accesswrite"), Variant(c.write)) << c.code;
            EXPECT_EQ(stored(path, L"accessexecute"), Variant(c.execute)) << c.code;
            EXPECT_EQ(stored(path, L"accessscript"), Variant(c.script)) << c.code;
        }
    }
}

TEST_F(Directories, PermissionFailuresAnswerTheirCodeAndStoreNothing)
{
    // The first bind is raised: no such site, or a host that does not answer.
    EXPECT_EQ(status_of([&] { setwebpermission(platform, L"localhost", L"9", L"img", L"R"); }), kPathNotFound);
    directory.fail_at("bind IIS://far/w3svc/3/ROOT", 1, static_cast<int32_t>(0x800706BA));
    EXPECT_EQ(status_of([&] { setwebpermission(platform, L"far", L"3", L"img", L"R"); }),
              static_cast<int32_t>(0x800706BA));

    struct Case
    {
        const char* step;
        int32_t status;
        const wchar_t* url;
        int32_t code;
    };
    for (const Case& c : {Case{"child IIsWebDirectory img", kAccessDenied, L"img", 2},
                          Case{"create IIsWebDirectory new", kAccessDenied, L"new", 1},
                          Case{"put AccessRead", kAccessDenied, L"img", 3},
                          Case{"put AccessScript", kAccessDenied, L"img", 3},
                          Case{"set_info", kAccessDenied, L"new", 4}, Case{"set_info", kAccessDenied, L"img", 4}}) {
        reset();
        directory.fail_at(c.step, 1, c.status);
        EXPECT_EQ(setwebpermission(platform, L"localhost", L"3", c.url, L"R"), c.code) << c.step;
        const String path = String(L"W3SVC/3/ROOT/") + c.url;
        EXPECT_EQ(stored(path, L"accessread"), Variant(Null{})) << c.step;
    }
    // Setting a flag fails after the reset: code 4.
    reset();
    directory.fail_at("put AccessRead", 2, kAccessDenied);
    EXPECT_EQ(setwebpermission(platform, L"localhost", L"3", L"img", L"R"), 4);
}

TEST_F(Directories, FiltersAreInstalledInLoadOrderAndUninstalledByDescription)
{
    EXPECT_EQ(installisapifilter(platform, L"1", L"a", L"c:\\a.dll", L"Auth"), 0);
    EXPECT_EQ(stored(L"W3SVC/1/Filters", L"filterloadorder"), Variant(L"a"));
    EXPECT_EQ(installisapifilter(platform, L"1", L"b", L"c:\\b.dll", L"Compression"), 0);
    EXPECT_EQ(installisapifilter(platform, L"1", L"c", L"c:\\c.dll", L"Logging"), 0);
    EXPECT_EQ(installisapifilter(platform, L"1", L"d", L"c:\\d.dll", L"Compression"), 0);
    EXPECT_EQ(stored(L"W3SVC/1/Filters", L"filterloadorder"), Variant(L"a,b,c,d"));
    EXPECT_EQ(stored(L"W3SVC/1/Filters/b", L"filterstate"), Variant(int16_t(1)));
    EXPECT_EQ(stored(L"W3SVC/1/Filters/b", L"notifyorderhigh"), Variant(int16_t(1)));
    EXPECT_EQ(stored(L"W3SVC/1/Filters/b", L"filterpath"), Variant(L"c:\\b.dll"));
    EXPECT_EQ(directory.find(L"W3SVC/1/Filters")->class_name, L"IIsFilters");

    // Site 3 is named, site 1 is changed; both filters described Compression go.
    EXPECT_EQ(uninstallisapifilter(platform, L"3", L"x", L"y", L"Compression"), 0);
    EXPECT_EQ(stored(L"W3SVC/1/Filters", L"filterloadorder"), Variant(L"a,c"));
    EXPECT_EQ(directory.find(L"W3SVC/1/Filters/b"), nullptr);
    EXPECT_EQ(directory.find(L"W3SVC/1/Filters/d"), nullptr);
    EXPECT_EQ(uninstallisapifilter(platform, L"1", L"", L"", L"compression"), 0);
    EXPECT_EQ(stored(L"W3SVC/1/Filters", L"filterloadorder"), Variant(L"a,c"));
}

TEST_F(Directories, FilterFailuresAnswerOneAndKeepWhatWasDone)
{
    // A name already in the store: the order takes it twice, the node is refused.
    EXPECT_EQ(installisapifilter(platform, L"3", L"a", L"c:\\a.dll", L"Auth"), 0);
    EXPECT_EQ(installisapifilter(platform, L"3", L"a", L"c:\\a.dll", L"Auth"), 1);
    EXPECT_EQ(stored(L"W3SVC/3/Filters", L"filterloadorder"), Variant(L"a,a"));

    reset();
    directory.fail_at("create IIsFilter z", 1, kAccessDenied);
    EXPECT_EQ(installisapifilter(platform, L"3", L"z", L"c:\\z.dll", L"Z"), 1);
    EXPECT_EQ(stored(L"W3SVC/3/Filters", L"filterloadorder"), Variant(L"z"));
    EXPECT_EQ(directory.find(L"W3SVC/3/Filters/z"), nullptr);

    reset();
    EXPECT_EQ(installisapifilter(platform, L"9", L"z", L"c:\\z.dll", L"Z"), 1);
    for (const char* step : {"children", "class", "property FilterLoadOrder"}) {
        reset();
        directory.add(L"W3SVC/3", L"IIsFilters", L"Filters", {{L"FilterLoadOrder", Variant(L"old")}});
        directory.fail_at(step, 1, kAccessDenied);
        EXPECT_EQ(installisapifilter(platform, L"3", L"z", L"c:\\z.dll", L"Z"), 1) << step;
        EXPECT_EQ(stored(L"W3SVC/3/Filters", L"filterloadorder"), Variant(L"old")) << step;
    }

    // Uninstalling: no container on site 1, and a failure after the first deletion.
    reset();
    EXPECT_EQ(uninstallisapifilter(platform, L"1", L"", L"", L"Auth"), 1);
    for (const wchar_t* name : {L"a", L"b", L"c"})
        installisapifilter(platform, L"1", name, L"c:\\f.dll", L"Same");
    directory.fail_at("property FilterDescription", 2, kAccessDenied);
    EXPECT_EQ(uninstallisapifilter(platform, L"1", L"", L"", L"Same"), 1);
    EXPECT_EQ(directory.find(L"W3SVC/1/Filters/a"), nullptr);
    EXPECT_NE(directory.find(L"W3SVC/1/Filters/b"), nullptr);
    EXPECT_EQ(stored(L"W3SVC/1/Filters", L"filterloadorder"), Variant(L"a,b,c"));
}

}  // namespace
}  // namespace kx::test
