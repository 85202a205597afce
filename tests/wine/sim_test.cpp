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
