// The web operations against the in-memory directory: every stage's failure, and what the
// operations leave behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/convert.h"
#include "operation_test.h"
#include "web/operations.h"

namespace kx::test {
namespace {

using namespace kx::web;

using Web = OperationTest;

TEST_F(Web, LookupsSkipOtherClassesAndTakeTheSiteEnumeratedLast)
{
    directory.add_site({L"1", L"Shop", {L"10.1.2.3:8080:intranet", L":80:"}, {L":443:"}});
    directory.add(L"W3SVC", L"IIsFilters", L"Filters", {{L"ServerComment", Variant(L"Shop")}});
    directory.add_site({L"3", L"Shop", {L":81:"}});
    directory.add_site({L"01", L"Old"});
    EXPECT_EQ(getwebid(platform, L"Shop"), 3);
    EXPECT_EQ(getwebpath(platform, L"Old"), 1);
    EXPECT_EQ(getwebid(platform, L"shop"), 0);
    EXPECT_EQ(getwebport(platform, L"Shop"), L":81:");
    EXPECT_EQ(getwebport(platform, L"Nothing"), L"Not Found");
    // Site 3 has no secure bindings: from the first match on, any failure is "None".
    EXPECT_EQ(getwebportsecure(platform, L"Shop"), L"None");
    const StringArray list = getwebsitelist(platform);
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(*list, (std::vector<String>{L"", L"Shop", L"Shop", L"Old"}));
}

TEST_F(Web, ANameThatIsNoNumberAndABindingListWithoutElements)
{
    directory.add_site({L"first", L"Shop", {}});
    EXPECT_EQ(status_of([&] { getwebid(platform, L"Shop"); }), runtime::kTypeMismatch);
    EXPECT_EQ(status_of([&] { getfreewebid(platform); }), runtime::kTypeMismatch);
    EXPECT_EQ(status_of([&] { getwebport(platform, L"Shop"); }), runtime::kSubscriptOutOfRange);
    directory.find(L"W3SVC/first")->set(L"ServerBindings", Variant(L":80:"));
    EXPECT_EQ(status_of([&] { getwebport(platform, L"Shop"); }), runtime::kTypeMismatch);
}

TEST_F(Web, SecureBindingsTrapFromTheFirstMatchOnOnly)
{
    directory.add_site({L"1", L"Shop", {L":80:"}, {L":443:"}});
    directory.add_site({L"2", L"Other"});
    directory.add_site({L"3", L"Shop", {L":81:"}, {L":444:"}});
    EXPECT_EQ(getwebportsecure(platform, L"Shop"), L":444:");

    // A failure before the first match is raised ...
    directory.fail_at("property ServerComment", 1, kPathNotFound);
    EXPECT_EQ(status_of([&] { getwebportsecure(platform, L"Shop"); }), kPathNotFound);
    // ... one after it, also later in the walk, gives "None".
    directory.fail_at("property SecureBindings", 1);
    EXPECT_EQ(getwebportsecure(platform, L"Shop"), L"None");
    directory.fail_at("property ServerComment", 2);
    EXPECT_EQ(getwebportsecure(platform, L"Shop"), L"None");
    directory.fail_at("next", 3);
    EXPECT_EQ(getwebportsecure(platform, L"Shop"), L"None");
}

TEST_F(Web, LookupFailuresAreRaisedWithThePlatformsStatus)
{
    directory.add_site({L"1", L"Shop"});
    for (const char* step : {"bind IIS://LocalHost/W3SVC", "children", "next", "class", "property ServerComment"}) {
        directory.fail_at(step, 1, static_cast<int32_t>(0x80070005));
        EXPECT_EQ(status_of([&] { getwebid(platform, L"Shop"); }), static_cast<int32_t>(0x80070005)) << step;
        directory.fail_at(step, 1, static_cast<int32_t>(0x80070005));
        EXPECT_EQ(status_of([&] { getwebsitelist(platform); }), static_cast<int32_t>(0x80070005)) << step;
    }
    // No web server at all.
    FakePlatform bare;
    EXPECT_EQ(status_of([&] { getwebport(bare.platform, L"Shop"); }), kPathNotFound);
    EXPECT_EQ(status_of([&] { getfreewebid(bare.platform); }), kPathNotFound);
}

TEST_F(Web, TheSiteListIsUnallocatedWithoutSitesAndOverflowsPast32766)
{
    directory.add(L"", L"IIsWebService", L"W3SVC");
    EXPECT_FALSE(getwebsitelist(platform).has_value());
    for (int n = 1; n <= 32766; ++n)
        directory.add(L"W3SVC", L"IIsWebServer", std::to_wstring(n), {{L"ServerComment", Variant(L"s")}});
    const StringArray list = getwebsitelist(platform);
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->size(), 32767u);
    directory.add(L"W3SVC", L"IIsWebServer", L"32767", {{L"ServerComment", Variant(L"s")}});
    EXPECT_EQ(status_of([&] { getwebsitelist(platform); }), runtime::kOverflow);
}

TEST_F(Web, TheFreeNumberIsTheLowestThatNoSiteNameReadsAsInOneWalk)
{
    struct Case
    {
        std::vector<const wchar_t*> sites;
        int32_t free;  // or the status raised
    };
    for (const Case& c : {Case{{}, 1}, Case{{L"2", L"1", L"4"}, 3}, Case{{L"1", L"2", L"3", L"4", L"5"}, 6}, Case{{L"01", L" 2 ", L"3.0"}, 4},
                          Case{{L"1.5", L"0", L"-3", L"40000", L"32767"}, 1}, Case{{L"1", L"x"}, runtime::kTypeMismatch},
                          Case{{L"1", L""}, runtime::kTypeMismatch}}) {
        directory.web().root.children.clear();
        directory.add(L"", L"IIsWebService", L"W3SVC");
        directory.add(L"W3SVC", L"IIsFilters", L"6");  // another class takes no number
        for (const wchar_t* name : c.sites)
            directory.add(L"W3SVC", L"IIsWebServer", name);
        directory.steps.clear();
        int32_t got = 0;
        try {
            got = getfreewebid(platform);
        } catch (const Failure& failure) {
            got = failure.status();
        }
        EXPECT_EQ(got, c.free) << c.sites.size();
        EXPECT_LE(std::count(directory.steps.begin(), directory.steps.end(), "children"), 1);
    }

    // Every number taken: the candidate overflows past 32767, as the walk per candidate would.
    directory.web().root.children.clear();
    directory.add(L"", L"IIsWebService", L"W3SVC");
    for (int n = 32767; n >= 1; --n)
        directory.add(L"W3SVC", L"IIsWebServer", std::to_wstring(n));
    EXPECT_EQ(status_of([&] { getfreewebid(platform); }), runtime::kOverflow);
    directory.web().root.children[0]->children.erase(directory.web().root.children[0]->children.begin());
    EXPECT_EQ(getfreewebid(platform), 32767);
}

TEST_F(Web, CreateWebRootWritesTheSiteItsRootAndItsMapper)
{
    directory.add(L"", L"IIsWebService", L"W3SVC");
    directory.add(L"", L"IIsLogModules", L"Logging");
    directory.add(L"Logging", L"IIsLogModule", L"W3C Extended Log File Format",
                  {{L"LogModuleId", Variant(L"{FF160663-DE82-11CF-BC0A-00AA006111E0}")}});
    EXPECT_EQ(createwebroot(platform, L"5", L"Shop", 1, L":8080:", L":443:", L"c:\\shop"), 0);
    Node* site = directory.find(L"W3SVC/5");
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->class_name, L"IIsWebServer");
    EXPECT_EQ(value_of(site, L"servercomment"), Variant(L"Shop"));
    EXPECT_EQ(value_of(site, L"serversize"), Variant(int32_t(1)));
    EXPECT_EQ(value_of(site, L"serverbindings"), Variant(Variant::List{Variant(L":8080:")}));
    EXPECT_EQ(value_of(site, L"securebindings"), Variant(Variant::List{Variant(L":443:")}));
    EXPECT_EQ(value_of(site, L"logtype"), Variant(int16_t(1)));
    EXPECT_EQ(value_of(site, L"logpluginclsid"), Variant(L"{FF160663-DE82-11CF-BC0A-00AA006111E0}"));
    EXPECT_EQ(value_of(site, L"logextfileflags"), Variant(int32_t(464782)));
    ASSERT_EQ(site->children.size(), 2u);
    EXPECT_EQ(site->children[0]->name, L"ROOT");
    EXPECT_EQ(site->children[0]->class_name, L"IIsWebVirtualDir");
    EXPECT_EQ(value_of(site->children[0].get(), L"path"), Variant(L"c:\\shop"));
    EXPECT_EQ(site->children[1]->class_name, L"IIsCertMapper");
    EXPECT_EQ(site->children[1]->name, L"IIsCertMapper");
    EXPECT_EQ(getwebid(platform, L"Shop"), 5);
    EXPECT_EQ(getwebport(platform, L"Shop"), L":8080:");
}

TEST_F(Web, CreateWebRootRaisesEveryFailureAndKeepsWhatItDid)
{
    auto prepare = [&] {
        directory.web().root.children.clear();
        directory.add(L"", L"IIsWebService", L"W3SVC");
        directory.add(L"", L"IIsLogModules", L"Logging");
        directory.add(L"Logging", L"IIsLogModule", L"W3C Extended Log File Format",
                      {{L"LogModuleId", Variant(L"{FF160663-DE82-11CF-BC0A-00AA006111E0}")}});
        directory.before = nullptr;
    };
    struct Case
    {
        const char* step;
        int occurrence;
        bool site_stored, root_stored;
    };
    for (const Case& c : {Case{"bind IIS://Localhost/W3SVC", 1, false, false},
                          Case{"create IIsWebServer 7", 1, false, false},
                          Case{"bind IIS://localhost/Logging/W3C Extended Log File Format", 1, false, false},
                          Case{"property LogModuleId", 1, false, false}, Case{"set_info", 1, false, false},
                          Case{"bind IIS://Localhost/W3SVC/7", 1, true, false}, Case{"set_info", 2, true, false},
                          Case{"bind IIS://Localhost/W3SVC/7", 2, true, true},
                          Case{"create IIsCertMapper IIsCertMapper", 1, true, true}, Case{"set_info", 3, true, true}}) {
        prepare();
        directory.fail_at(c.step, c.occurrence, static_cast<int32_t>(0x80070005));
        EXPECT_EQ(status_of([&] { createwebroot(platform, L"7", L"Shop", 1, L":80:", L"", L"c:\\s"); }),
                  static_cast<int32_t>(0x80070005))
            << c.step << " " << c.occurrence;
        Node* site = directory.find(L"W3SVC/7");
        EXPECT_EQ(site != nullptr, c.site_stored) << c.step << " " << c.occurrence;
        EXPECT_EQ(directory.find(L"W3SVC/7/ROOT") != nullptr, c.root_stored) << c.step << " " << c.occurrence;
        EXPECT_EQ(directory.find(L"W3SVC/7/IIsCertMapper"), nullptr);
    }
    // A number in use: the store refuses the new site when it is committed.
    prepare();
    directory.add_site({L"7", L"Taken"});
    EXPECT_EQ(status_of([&] { createwebroot(platform, L"7", L"Shop", 1, L":80:", L"", L"c:\\s"); }), kAlreadyExists);
}

TEST_F(Web, StartAndDeleteAnswerTwoForEveryFailure)
{
    directory.add_site({L"1", L"Shop"});
    EXPECT_EQ(startwebsite(platform, L"1"), 0);
    EXPECT_EQ(value_of(directory.find(L"W3SVC/1"), L"ServerState"), Variant(kxsim::iis::kStarted));
    EXPECT_EQ(startwebsite(platform, L"9"), 2);
    directory.fail_at("call Start", 1, static_cast<int32_t>(0x80070420));
    EXPECT_EQ(startwebsite(platform, L"1"), 2);
    directory.before = nullptr;

    EXPECT_EQ(deletewebroot(platform, L"9"), 2);
    directory.fail_at("bind IIS://LocalHost/W3SVC", 1);
    EXPECT_EQ(deletewebroot(platform, L"1"), 2);
    directory.before = nullptr;
    EXPECT_EQ(deletewebroot(platform, L"1"), 0);
    EXPECT_EQ(getwebid(platform, L"Shop"), 0);

    FakePlatform bare;
    EXPECT_EQ(startwebsite(bare.platform, L"1"), 2);
    EXPECT_EQ(deletewebroot(bare.platform, L"1"), 2);
}

}  // namespace
}  // namespace kx::test
