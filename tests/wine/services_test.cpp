// The service and version operations against Wine's service control manager and version
// functions: services that the tests create (and delete), and libraries whose version
// resources the build compiled.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "com_support.h"
#include "faulty_ports.h"
#include "services/operations.h"

namespace kx::test {
namespace {

using namespace kx::services;

// Two services of the tests' own: one whose program really runs, one that is never started.
class Services : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        const std::wstring program = L"\"" + beside_tests(L"kx_test_service.exe") + L"\"";
        for (const wchar_t* name : {kRunning, kIdle}) {
            SC_HANDLE service = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                               SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, program.c_str(), nullptr,
                                               nullptr, L"RpcSs\0\0", nullptr, nullptr);
            CloseServiceHandle(service);
        }
    }
    static void TearDownTestSuite()
    {
        for (const wchar_t* name : {kRunning, kIdle}) {
            SC_HANDLE service = OpenServiceW(manager, name, SERVICE_ALL_ACCESS);
            SERVICE_STATUS status;
            ControlService(service, SERVICE_CONTROL_STOP, &status);
            DeleteService(service);
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }

    // Waits until the service reports the state (at most five seconds).
    static bool reaches(const wchar_t* name, DWORD state)
    {
        SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
        SERVICE_STATUS status{};
        for (int i = 0; i < 100 && QueryServiceStatus(service, &status) && status.dwCurrentState != state; ++i)
            Sleep(50);
        CloseServiceHandle(service);
        return status.dwCurrentState == state;
    }

    static constexpr const wchar_t* kRunning = L"kxtest_running";
    static constexpr const wchar_t* kIdle = L"kxtest_idle";
    static inline SC_HANDLE manager = nullptr;

    TestPlatform fake;
    Platform& platform = fake.platform;
};

TEST_F(Services, TheStateOfAServiceThatRunsAndOfOneThatDoesNot)
{
    EXPECT_EQ(getservicestatus(platform, kIdle), 1);
    SC_HANDLE service = OpenServiceW(manager, kRunning, SERVICE_ALL_ACCESS);
    ASSERT_TRUE(StartServiceW(service, 0, nullptr));
    ASSERT_TRUE(reaches(kRunning, SERVICE_RUNNING));
    EXPECT_EQ(getservicestatus(platform, kRunning), 4);
    SERVICE_STATUS status;
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    CloseServiceHandle(service);
    ASSERT_TRUE(reaches(kRunning, SERVICE_STOPPED));
    EXPECT_EQ(getservicestatus(platform, kRunning), 1);

    fake.services.clear();
    EXPECT_EQ(getservicestatus(platform, L"kxtest_not_installed"), -1);
    EXPECT_TRUE(fake.ui.shown.empty());
    // Both handles are closed, the service's first, also when it is 0.
    const std::vector<std::string> opened_and_closed{"open_sc_manager", "open_service", "close_service_handle",
                                                     "close_service_handle"};
    EXPECT_EQ(fake.services.calls, opened_and_closed);
    EXPECT_EQ(getservicedependencies(platform, L"kxtest_not_installed"), L"-1");
    EXPECT_TRUE(fake.ui.shown.empty());
}

TEST_F(Services, TheFirstDependencyFillsA255CharacterBuffer)
{
    // Wine's manager lists no dependencies whatever was created: an empty list.
    EXPECT_EQ(getservicedependencies(platform, kIdle), L'\0' + std::wstring(254, L' '));

    // The other lists go through the port: the second query's list is replaced.
    struct Case
    {
        std::string list;  // names, each ended by a NUL
        std::wstring first;
    };
    const std::string overlong(300, 'n');
    for (const Case& c : {Case{std::string("Tcpip\0Afd\0", 10), L"Tcpip"}, Case{std::string("+NetworkProvider\0", 17), L"+NetworkProvider"},
                          Case{overlong + '\0', std::wstring(254, L'n')}}) {
        fake.services.rewrite_config = [&](void* buffer, uint32_t length, uint32_t& needed) {
            if (length == 0) {
                needed += 1024;  // room for the list
                return;
            }
            char* list = static_cast<char*>(buffer) + length - 512;
            std::memcpy(list, c.list.data(), c.list.size());
            list[c.list.size()] = '\0';
            static_cast<services::ServiceConfigHead*>(buffer)->dependencies = list;
        };
        const std::wstring answer = getservicedependencies(platform, kIdle);
        ASSERT_EQ(answer.size(), 255u);
        EXPECT_EQ(answer.substr(0, c.first.size() + 1), c.first + L'\0');
        EXPECT_EQ(answer.find_first_not_of(L' ', c.first.size() + 1), std::wstring::npos);
    }
}

TEST_F(Services, EachFailureIsShownWithTheErrorOfItsCall)
{
    struct Case
    {
        const char* function;
        int occurrence;
        int32_t status;
        const wchar_t* dependencies;  // the answer of getservicedependencies
        std::vector<std::wstring> shown;
    };
    for (const Case& c : {Case{"open_sc_manager", 1, -1, L"-1", {L"Error - 5"}},
                          Case{"query_service_status", 1, 0, L"", {L"Error - 5"}},
                          // The length stays unknown: the second query fails for want of room.
                          Case{"query_service_config", 1, 1, L"", {L"Error - 5", L"Error - 122"}},
                          Case{"query_service_config", 2, 1, L"", {L"Error - 5"}}}) {
        for (bool status : {true, false}) {
            if (status && std::strcmp(c.function, "query_service_config") == 0)
                continue;
            fake.services.clear();
            fake.ui.shown.clear();
            fake.services.fail(c.function, c.occurrence, ERROR_ACCESS_DENIED);
            if (status)
                EXPECT_EQ(getservicestatus(platform, kIdle), c.status) << c.function;
            else
                EXPECT_EQ(getservicedependencies(platform, kIdle), c.dependencies) << c.function << c.occurrence;
            EXPECT_EQ(fake.ui.shown, c.shown) << c.function << c.occurrence;
            EXPECT_EQ(std::count(fake.services.calls.begin(), fake.services.calls.end(), "close_service_handle"), 2);
        }
    }
}

TEST_F(Services, VersionStringsUnderTheFirstTranslation)
{
    struct Case
    {
        const wchar_t* file;
        std::wstring description, product;
        std::vector<std::wstring> shown;
    };
    const std::wstring thirty = L"abcdefghijklmnopqrstuvwxyz0123";
    std::wstring long_description;
    for (int i = 0; i < 10; ++i)
        long_description += thirty;
    for (const Case& c : {
             Case{L"kx_version_us.dll", L"Kestrix test service", L"Kestrix test product", {}},
             Case{L"kx_version_neutral.dll", L"Neutral description", L"Neutral product", {}},
             Case{L"kx_version_utf8.dll", L"UTF-8 description", L"UTF-8 product", {}},
             Case{L"kx_version_no_product.dll", L"Described only", L"", {L"VerQueryValue failed at"}},
             Case{L"kx_version_long.dll", long_description.substr(0, 254), L"Long product", {}},
             Case{L"kx_version_none.dll", L"Not found", L"Not found",
                  {L"No Version Info available!", L"No Version Info available!"}},
             Case{L"Kestrix.dll", L"", L"Kestrix", {L"VerQueryValue failed at"}},
             Case{L"C:\\kxtest\\no-such-file.exe", L"Not found", L"Not found",
                  {L"No Version Info available!", L"No Version Info available!"}},
         }) {
        fake.ui.shown.clear();
        const std::wstring path = std::wcschr(c.file, L'\\') ? c.file : beside_tests(c.file);
        EXPECT_EQ(getservicename(platform, path), c.description) << c.file;
        EXPECT_EQ(getserviceowner(platform, path), c.product) << c.file;
        EXPECT_EQ(fake.ui.shown, c.shown) << c.file;
    }

    // An empty file and a path of a megabyte have no version data either.
    const std::string empty = test_path("empty.exe");
    CloseHandle(CreateFileA(empty.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_EQ(getservicename(platform, std::wstring(empty.begin(), empty.end())), L"Not found");
    EXPECT_EQ(getservicename(platform, std::wstring(1 << 20, L'x')), L"Not found");

    // Each later step's failure, through the port.
    const std::wstring us = beside_tests(L"kx_version_us.dll");
    struct Failing
    {
        const char* function;
        int occurrence;
        const wchar_t* shown;
    };
    for (const Failing& f : {Failing{"get_file_version_info", 1, L"GetFileVersionInfo failed."},
                             Failing{"ver_query_value", 1, L"VerQueryValue failed."},
                             Failing{"ver_query_value", 2, L"VerQueryValue failed at"}}) {
        fake.versions.clear();
        fake.ui.shown.clear();
        fake.versions.fail(f.function, f.occurrence, 0);
        EXPECT_EQ(getservicename(platform, us), L"") << f.function;
        EXPECT_EQ(fake.ui.shown, std::vector<std::wstring>{f.shown}) << f.function;
    }
}

}  // namespace
}  // namespace kx::test
