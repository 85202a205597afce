// The simulated web server itself: its store under processes that die or race, a damaged
// store, and what scripts and the directory service see of it.
#include <iads.h>
#include <adshlp.h>

#include <random>

#include "script_host.h"
#include "simulated_server.h"

namespace kx::test {
namespace {

using Simulation = SimulatedServer;

std::wstring tool()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self = path;
    return self.substr(0, self.find_last_of(L"\\/") + 1) + L"kxsim.exe";
}

// Starts the store tool with arguments; the caller waits for it or ends it.
HANDLE start(const std::wstring& args)
{
    std::wstring command = L"\"" + tool() + L"\" " + args;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Under a loaded machine the emulated process start has been seen to fail once; try again.
    for (int attempt = 0;; ++attempt) {
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            break;
        if (attempt == 4) {
            ADD_FAILURE() << "cannot start the store tool: error " << GetLastError();
            return nullptr;
        }
        Sleep(200);
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Each store, its writer killed at a moment of chance a hundred times in a row: each time the
// store reads back as a whole save (never a mix of two) and the next writer succeeds.
TEST_F(Simulation, AProcessKilledWhileSavingLeavesTheLastWholeSave)
{
    struct Store
    {
        const wchar_t* name;
        std::wstring path;
        kxsim::StoreFile file;
        std::vector<std::wstring> container, kept;  // where the writer counts, a node that stays
    };
    for (const Store& store : {Store{L"iis", path_, kxsim::iis::store_file(path_), {L"W3SVC"}, {L"W3SVC", L"1"}},
                         Store{L"winnt", accounts_path_, kxsim::winnt::store_file(accounts_path_), {L"Administrators"},
                               {L"Guests"}}}) {
        std::mt19937 random(7);
        const int32_t last = -1;  // what each round leaves; the writer's first save differs
        for (int round = 0; round < 100; ++round) {
            HANDLE churn = start(std::wstring(L"churn ") + store.name + L" " + store.path);
            ASSERT_NE(churn, nullptr);
            // Once it has saved, end it at a moment of chance.
            for (int wait = 0; wait < 500; ++wait) {
                const kxsim::Node* node = store.file.load()->find(store.container);
                const kx::Variant* count = node ? node->property(L"Churn") : nullptr;
                if (count && count->as<int32_t>() != last)
                    break;
                Sleep(2);
            }
            Sleep(random() % 8);
            TerminateProcess(churn, 9);
            WaitForSingleObject(churn, INFINITE);
            CloseHandle(churn);
            const auto tree = store.file.load();  // fails if torn
            ASSERT_NE(tree->find(store.kept), nullptr) << "round " << round;
            ASSERT_NE(tree->find(store.container)->property(L"Churn"), nullptr) << "round " << round;
            // The next writer succeeds, and its save is whole too.
            store.file.update([&](kxsim::Tree& t) { t.find(store.container)->set(L"Churn", kx::Variant(int32_t(-1))); });
            ASSERT_EQ(*store.file.load()->find(store.container)->property(L"Churn"), kx::Variant(int32_t(-1)));
        }
    }
}

TEST_F(Simulation, ADamagedStoreIsAnErrorAndIsLeftAsItIs)
{
    const char damage[] = "node IIsWebService \"W3SVC\"\n  ServerComment string \"open\n";
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, damage, sizeof damage - 1, &written, nullptr);
    CloseHandle(file);

    Answer id;
    call("getwebid", L"getwebid", {L"Shop"}, id);
    EXPECT_EQ(id.status, HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    EXPECT_NE(id.description.find(L"damaged"), std::wstring::npos);
    EXPECT_NE(id.description.find(L"line 2"), std::wstring::npos);
    Answer deleted;
    call("deletewebroot", L"deletewebroot", {L"1"}, deleted);
    EXPECT_EQ(deleted.number(), 2);

    char back[256] = {};
    file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ReadFile(file, back, sizeof back - 1, &written, nullptr);
    CloseHandle(file);
    EXPECT_STREQ(back, damage);

    DeleteFileW(path_.c_str());
    Answer none;
    call("getwebid", L"getwebid", {L"Shop"}, none);
    EXPECT_EQ(none.status, static_cast<HRESULT>(0x80005000));
}

TEST_F(Simulation, DeletingChildrenWhileWalkingStillVisitsEveryOne)
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
        BSTR cls = SysAllocString(L"IIsWebServer");
        EXPECT_EQ(service->Delete(cls, name), S_OK);
        SysFreeString(cls);
        SysFreeString(name);
    }
    EXPECT_EQ(visited, (std::vector<std::wstring>{L"1", L"2", L"3", L"4"}));
    EXPECT_TRUE(stored().find({L"W3SVC"})->children.empty());
}

TEST_F(Simulation, ScriptsReachItByMonikerAndByName)
{
    ScriptHost host;
    ASSERT_TRUE(host.run(L"Dim site, state, comment, first\n"
                         L"Set site = GetObject(\"IIS://Localhost/W3SVC/1\")\n"
                         L"site.ServerComment = \"Renamed\"\n"
                         L"site.SetInfo\n"
                         L"site.Stop\n"
                         L"state = site.ServerState\n"
                         L"first = site.ServerBindings(0)\n"
                         L"Set site = Nothing\n"
                         L"comment = GetObject(\"IIS://localhost/W3SVC/1\").Get(\"servercomment\")\n"))
        << std::string(host.error().begin(), host.error().end());
    EXPECT_EQ(host.evaluate(L"state"), L"4");
    EXPECT_EQ(host.evaluate(L"comment"), L"Renamed");
    EXPECT_EQ(host.evaluate(L"first"), L":80:");
    kxsim::Tree tree = stored();
    EXPECT_EQ(*tree.find({L"W3SVC", L"1"})->property(L"ServerComment"), kx::Variant(L"Renamed"));
    // The script engine keeps the monikers of its GetObject calls, and with them their objects.
    live_before_ = live_objects();
}

TEST_F(Simulation, ScriptsBindTheNamespacesWhichListThisMachine)
{
    ScriptHost host;
    ASSERT_TRUE(host.run(L"Dim listed, service\n"
                         L"For Each scheme In Array(\"IIS:\", \"WinNT:\")\n"
                         L"  For Each machine In GetObject(scheme)\n"
                         L"    listed = listed & GetObject(scheme).Name & machine.Class & \"=\" & machine.Name & \";\"\n"
                         L"  Next\n"
                         L"Next\n"
                         L"service = GetObject(\"iis:\").OpenDSObject(\"IIS://LocalHost/W3SVC\", \"\", \"\", 0).Name\n"))
        << std::string(host.error().begin(), host.error().end());
    EXPECT_EQ(host.evaluate(L"listed"),
              L"IIS:IIsComputer=LocalHost;WinNT:Computer=" + kxsim::winnt::computer_name() + L";");
    EXPECT_EQ(host.evaluate(L"service"), L"W3SVC");
    live_before_ = live_objects();
}

}  // namespace
}  // namespace kx::test
