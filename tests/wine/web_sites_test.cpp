// The web site operations through COM against the simulated web server.
#include "simulated_server.h"

namespace kx::test {
namespace {

using WebSites = SimulatedServer;

constexpr HRESULT kTypeMismatch = static_cast<HRESULT>(0x800A000D);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);

// What the stand-in's store order, its statuses and the frame's conversions make of the lookups;
// the lookups' own rules are the host tests'.
TEST_F(WebSites, LookupsAnswerThroughComInTheStoresOrder)
{
    kxsim::Tree tree = machine_with({{L"1", L"Shop", {L":80:"}}, {L"3", L"Shop", {L":81:", L":82:"}}, {L"7", L""}});
    tree.find({L"W3SVC"})->add(L"IIsFilters", L"Filters").set(L"ServerComment", kx::Variant(L"Shop"));
    store(tree);
    EXPECT_EQ(answer_of("getwebid", {L"Shop"}), 3);
    EXPECT_EQ(answer_of("getwebid", {L""}), 7);
    Answer port, secure, list;
    call("getwebport", L"getwebport", {L"Shop"}, port);
    EXPECT_EQ(port.text(), L":81:");
    call("getwebportsecure", L"getwebportsecure", {L"Shop"}, secure);
    EXPECT_EQ(secure.text(), L"None");
    call("getwebsitelist", L"getwebsitelist", {}, list);
    EXPECT_EQ(list.list(), (std::vector<std::wstring>{L"", L"Shop", L"Shop", L""}));

    store(machine_with({}));
    Answer empty, mismatch;
    call("getwebsitelist", L"getwebsitelist", {}, empty);
    EXPECT_EQ(empty.status, S_OK);
    EXPECT_TRUE(empty.unallocated());
    EXPECT_EQ(answer_of("getfreewebid", {}), 1);

    store(machine_with({{L"first", L"Shop", {}}}));
    call("getwebid", L"getwebid", {L"Shop"}, mismatch);
    EXPECT_EQ(mismatch.status, kTypeMismatch);
    EXPECT_EQ(mismatch.description, L"Type mismatch");

    // No web server: the service node cannot be bound.
    tree = kxsim::iis::fresh_machine();
    tree.root.remove(L"W3SVC");
    store(tree);
    for (const char* cls : {"getwebid", "getwebport", "getwebportsecure"}) {
        Answer a;
        call(cls, widen(cls).c_str(), {L"Shop"}, a);
        EXPECT_EQ(a.status, kPathNotFound) << cls;
        EXPECT_FALSE(a.description.empty()) << cls;
    }
    Answer no_list;
    call("getwebsitelist", L"getwebsitelist", {}, no_list);
    EXPECT_EQ(no_list.status, kPathNotFound);
}

TEST_F(WebSites, ASiteIsNumberedCreatedFoundStartedAndDeleted)
{
    Answer free;
    call("getfreewebid", L"getfreewebid", {}, free);
    ASSERT_EQ(free.number(), 2);
    const std::wstring number = std::to_wstring(free.number());

    Answer created;
    call("createwebroot", L"createwebroot", {number.c_str(), L"Shop", 1L, L":8080:", L":8443:", L"c:\\shop"}, created);
    ASSERT_EQ(created.status, S_OK) << std::string(created.description.begin(), created.description.end());
    EXPECT_EQ(created.number(), 0);

    // What the store holds, read back through the directory service.
    const std::wstring site = L"IIS://LocalHost/W3SVC/" + number;
    EXPECT_EQ(property_at(site, L"ServerComment"), kx::Variant(L"Shop"));
    EXPECT_EQ(property_at(site, L"ServerSize"), kx::Variant(int32_t(1)));
    EXPECT_EQ(property_at(site, L"ServerBindings"), kx::Variant(kx::Variant::List{kx::Variant(L":8080:")}));
    EXPECT_EQ(property_at(site, L"LogType"), kx::Variant(int16_t(1)));
    EXPECT_EQ(property_at(site, L"LogPluginClsid"), kx::Variant(L"{FF160663-DE82-11CF-BC0A-00AA006111E0}"));
    EXPECT_EQ(property_at(site, L"LogExtFileFlags"), kx::Variant(int32_t(464782)));
    kxsim::Tree after = stored();
    const kxsim::Node* root = after.find({L"W3SVC", number, L"ROOT"});
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->class_name, L"IIsWebVirtualDir");
    EXPECT_EQ(*root->property(L"Path"), kx::Variant(L"c:\\shop"));
    ASSERT_NE(after.find({L"W3SVC", number, L"IIsCertMapper"}), nullptr);

    Answer id, port, secure_port;
    call("getwebid", L"getwebid", {L"Shop"}, id);
    EXPECT_EQ(id.number(), 2);
    call("getwebport", L"getwebport", {L"Shop"}, port);
    EXPECT_EQ(port.text(), L":8080:");
    call("getwebportsecure", L"getwebportsecure", {L"Shop"}, secure_port);
    EXPECT_EQ(secure_port.text(), L":8443:");

    Answer started, missing_start;
    call("startwebsite", L"startwebsite", {number.c_str()}, started);
    EXPECT_EQ(started.number(), 0);
    kxsim::Tree running = stored();
    EXPECT_EQ(*running.find({L"W3SVC", number})->property(L"ServerState"), kx::Variant(int32_t(2)));
    call("startwebsite", L"startwebsite", {L"99"}, missing_start);
    EXPECT_EQ(missing_start.number(), 2);

    Answer again;
    call("createwebroot", L"createwebroot", {number.c_str(), L"Twin", 1L, L":80:", L"", L"c:\\x"}, again);
    EXPECT_EQ(again.status, static_cast<HRESULT>(0x800700B7));

    Answer deleted, gone, deleted_again;
    call("deletewebroot", L"deletewebroot", {number.c_str()}, deleted);
    EXPECT_EQ(deleted.number(), 0);
    call("getwebid", L"getwebid", {L"Shop"}, gone);
    EXPECT_EQ(gone.number(), 0);
    call("deletewebroot", L"deletewebroot", {number.c_str()}, deleted_again);
    EXPECT_EQ(deleted_again.number(), 2);
}

}  // namespace
}  // namespace kx::test
