// The file-security operations against Wine's own security functions. Where a test reads a
// written list back, the security port keeps descriptors per path (FaultySecurity with
// remembering on): Wine turns a written list into Unix mode bits and reads back a list made up
// from them, so what was written could not be seen otherwise.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>

#include "core/failure.h"
#include "faulty_ports.h"
#include "security/operations.h"

namespace kx::test {
namespace {

using namespace kx::file_security;
using Entry = FaultySecurity::Entry;

constexpr const char* kUsers = "S-1-5-32-545";
constexpr uint8_t kAllowed = 0, kDenied = 1;

class FileSecurity : public ::testing::Test
{
protected:
    void SetUp() override
    {
        file = test_path("secured.txt");
        folder = test_path("secured");
        CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        CreateDirectoryA(folder.c_str(), nullptr);
        fake.security.remembering = true;
    }

    void reset()
    {
        fake.security.clear();
        fake.security.descriptors.clear();
        fake.security.written.clear();
        fake.ui.shown.clear();
    }

    // A descriptor of a list of entries of these SIDs (or no list, or a null one) for a path.
    void give(const std::string& path, const std::vector<const char*>& sids, bool present = true, bool null = false)
    {
        SECURITY_DESCRIPTOR sd;
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        std::vector<uint32_t> acl(16384);
        InitializeAcl(reinterpret_cast<PACL>(acl.data()), acl.size() * 4 - 4, ACL_REVISION);
        for (const char* text : sids) {
            PSID sid = nullptr;
            ConvertStringSidToSidA(text, &sid);
            AddAccessAllowedAce(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, GENERIC_READ, sid);
            LocalFree(sid);
        }
        if (present)
            SetSecurityDescriptorDacl(&sd, TRUE, null ? nullptr : reinterpret_cast<PACL>(acl.data()), FALSE);
        DWORD size = 0;
        MakeSelfRelativeSD(&sd, nullptr, &size);
        std::vector<uint8_t> bytes(size);
        MakeSelfRelativeSD(&sd, bytes.data(), &size);
        fake.security.descriptors[path] = bytes;
    }

    TestPlatform fake;
    Platform& platform = fake.platform;
    std::string file, folder;
};

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

TEST_F(FileSecurity, TheNewEntryStandsLastWithTheMaskOfTheRightsLetters)
{
    struct Case
    {
        std::wstring rights;
        uint8_t type;
        uint32_t mask;
    };
    for (const Case& c : {Case{L"", kAllowed, 0}, Case{L"rw", kAllowed, 0xC0000000}, Case{L"RRR", kAllowed, 0x80000000},
                          Case{L"xarw", kAllowed, 0xF0000000}, Case{L"D?!", kAllowed, 0}, Case{L"uR", kDenied, 0x80000000},
                          Case{std::wstring(1 << 20, L'w').c_str(), kAllowed, 0x40000000}}) {
        reset();
        give(file, {"S-1-1-0", kUsers});
        EXPECT_EQ(setfilepermission(platform, wide(file), L"Users", c.rights), 0) << c.rights.size();
        const std::vector<Entry> expected{{kAllowed, 0, GENERIC_READ, "S-1-1-0"},
                                          {kAllowed, 0, GENERIC_READ, kUsers},
                                          {c.type, 0, c.mask, kUsers}};
        EXPECT_EQ(fake.security.entries(file), expected) << c.rights.size();
    }
    // The domain's form of a name, and the real file's own list as Wine gives it.
    reset();
    EXPECT_EQ(setfilepermission(platform, wide(file), L"BUILTIN\\Administrators", L"A"), 0);
    EXPECT_EQ(fake.security.entries(file).back(), (Entry{kAllowed, 0, GENERIC_ALL, "S-1-5-32-544"}));
}

TEST_F(FileSecurity, EachFailingStepAnswersItsCodeAndOnlyTheWriteChangesTheFile)
{
    struct Case
    {
        const char* function;
        int occurrence;
        int32_t code;
    };
    for (const Case& c : {Case{"lookup_account_name", 2, 1}, Case{"get_file_security", 2, 2},
                          Case{"initialize_security_descriptor", 1, 3}, Case{"get_security_descriptor_dacl", 1, 4},
                          Case{"get_acl_information", 1, 6}, Case{"initialize_acl", 1, 7}, Case{"get_ace", 2, 8},
                          Case{"add_ace", 1, 9}, Case{"add_access_allowed_ace", 1, 10},
                          Case{"set_security_descriptor_dacl", 1, 11}, Case{"set_file_security", 1, 12},
                          Case{"get_file_security", 4, 13}, Case{"get_security_descriptor_dacl", 2, 14},
                          Case{"get_acl_information", 2, 15}}) {
        reset();
        give(file, {"S-1-1-0", kUsers});
        const auto before = fake.security.descriptors[file];
        fake.security.fail(c.function, c.occurrence, ERROR_ACCESS_DENIED);
        EXPECT_EQ(setfilepermission(platform, wide(file), L"Users", L"R"), c.code) << c.function;
        EXPECT_EQ(fake.security.descriptors[file] == before, c.code < 13) << c.function;
    }
    // A list that is not there, and a null one, are left as they are (5).
    for (bool null : {false, true}) {
        reset();
        give(file, {}, null, null);
        const auto before = fake.security.descriptors[file];
        EXPECT_EQ(setfilepermission(platform, wide(file), L"Users", L"R"), 5);
        EXPECT_EQ(fake.security.descriptors[file], before);
    }
    // An empty list receives the entry.
    reset();
    give(file, {});
    EXPECT_EQ(setfilepermission(platform, wide(file), L"Users", L"R"), 0);
    EXPECT_EQ(fake.security.entries(file), std::vector<Entry>({{kAllowed, 0, GENERIC_READ, kUsers}}));
    // A list near its size limit leaves no room for another entry: the new list cannot be made.
    reset();
    give(file, std::vector<const char*>(2730, kUsers));
    EXPECT_EQ(setfilepermission(platform, wide(file), L"Users", L"R"), 7);
}

TEST_F(FileSecurity, WinesOwnFunctionsAnswerForMissingThingsAndARefusedWrite)
{
    fake.security.remembering = false;
    EXPECT_EQ(setfilepermission(platform, wide(file), L"No Such Account", L"R"), 1);
    EXPECT_EQ(setfilepermission(platform, L"C:\\kxtest\\missing.txt", L"Users", L"R"), 2);
    EXPECT_EQ(setfilepermission(platform, wide(file), L"Users", L"R"), 0);
    // The kernel refuses to change the mode of a file under /proc/sys; the read-back still runs.
    EXPECT_EQ(setfilepermission(platform, L"Z:\\proc\\sys\\kernel\\hostname", L"Users", L"R"), 12);
    EXPECT_EQ(fake.security.calls.back(), "get_acl_information");
}

TEST_F(FileSecurity, SetAccessReplacesTheAccountsEntriesAndGivesFoldersAnInheritablePair)
{
    struct Case
    {
        bool on_folder;
        const wchar_t* rights;
        std::vector<Entry> added;
    };
    for (const Case& c : {Case{false, L"rx", {{kAllowed, 0, 0xA0000000, kUsers}}},
                          Case{true, L"RX", {{kAllowed, 9, 0xA0000000, kUsers}, {kAllowed, 2, 0xA0000000, kUsers}}},
                          Case{true, L"wU", {{kDenied, 9, 0x40000000, kUsers}, {kDenied, 2, 0x40000000, kUsers}}},
                          Case{false, L"d", {{kAllowed, 0, 0x00010000, kUsers}}}}) {
        reset();
        const std::string& path = c.on_folder ? folder : file;
        give(path, {kUsers, "S-1-1-0", kUsers, "S-1-5-32-544"});
        SetAccess(platform, L"Users", wide(path), c.rights);
        std::vector<Entry> expected{{kAllowed, 0, GENERIC_READ, "S-1-1-0"}, {kAllowed, 0, GENERIC_READ, "S-1-5-32-544"}};
        expected.insert(expected.end(), c.added.begin(), c.added.end());
        EXPECT_EQ(fake.security.entries(path), expected) << c.rights;
        EXPECT_TRUE(fake.ui.shown.empty());
    }
}

TEST_F(FileSecurity, SetAccessShowsTheMessageOfTheStepThatFailedAndChangesNothing)
{
    const std::wstring account = L"Error: Unable to Lookup the Current User Account: Users";
    struct Case
    {
        const char* function;
        int occurrence;
        std::vector<std::wstring> shown;
    };
    for (const Case& c : {
             Case{"lookup_account_name", 2, {account}},
             Case{"get_file_security", 2, {L"Error: Unable to Get the File Security Descriptor"}},
             Case{"initialize_security_descriptor", 1, {L"Error: Unable to Initialize New Security Descriptor"}},
             Case{"get_security_descriptor_dacl", 1, {L"Error: Unable to Get DACL from File Security Descriptor"}},
             Case{"get_acl_information", 1, {L"Error: Unable to Get ACL from File Security Descriptor"}},
             Case{"initialize_acl", 1, {L"Error: Unable to Initialize New ACL"}},
             Case{"get_ace", 2, {L"Error: Unable to Obtain ACE (1)"}},
             Case{"add_ace", 1, {L"Error: Unable to Add ACE to New ACL"}},
             Case{"add_access_allowed_ace", 1, {L"Error: Unable to Add ACL to DACL"}},
             // On a folder: the entry just added (index 1, after the one copied), then the pair's second.
             Case{"get_ace", 3, {L"Error: Unable to Obtain ACE (1)"}},
             Case{"add_access_allowed_ace", 2, {L"Error: Unable to Add ACL to DACL"}},
             Case{"get_ace", 4, {L"Error: Unable to Obtain ACE (2)"}},
             Case{"set_security_descriptor_dacl", 1, {L"Error: Unable to Set New DACL to Security Descriptor"}},
             Case{"set_file_security", 1,
                  {L"Error: Unable to Set New Security Descriptor  to File : " + wide(folder), L"1326"}},
         }) {
        reset();
        give(folder, {kUsers, "S-1-1-0"});
        const auto before = fake.security.descriptors[folder];
        fake.security.fail(c.function, c.occurrence, 1326);
        SetAccess(platform, L"Users", wide(folder), L"R");
        EXPECT_EQ(fake.ui.shown, c.shown) << c.function << " " << c.occurrence;
        EXPECT_EQ(fake.security.descriptors[folder], before) << c.function;
    }
    reset();
    give(folder, {}, false);
    SetAccess(platform, L"Users", wide(folder), L"R");
    EXPECT_EQ(fake.ui.shown, std::vector<std::wstring>{L"Error: No ACL Information Available for this File"});
}

TEST_F(FileSecurity, TheWalkEditsEachSubtreeBeforeItsFolderAndNeverAFile)
{
    const std::string root = test_path("tree");
    for (const char* sub : {"", "\\a", "\\a\\b", "\\a\\b\\c", "\\d"})
        CreateDirectoryA((root + sub).c_str(), nullptr);
    CloseHandle(CreateFileA((root + "\\a\\note.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));

    EXPECT_EQ(setdirectorypermission(platform, wide(root) + L"\\", L"Users", L"R", 0), 0);
    const std::vector<std::string>& order = fake.security.written;
    ASSERT_EQ(order.size(), 5u);
    EXPECT_EQ(order[0], root + "\\");
    auto at = [&](const std::string& p) { return std::find(order.begin(), order.end(), root + "\\\\" + p) - order.begin(); };
    EXPECT_LT(at("a\\b\\c"), at("a\\b"));
    EXPECT_LT(at("a\\b"), at("a"));
    EXPECT_LT(at("a"), 5);
    EXPECT_LT(at("d"), 5);
    EXPECT_TRUE(fake.ui.shown.empty());

    // Any other inheritance value edits the named folder alone.
    reset();
    EXPECT_EQ(setdirectorypermission(platform, wide(root), L"Users", L"R", 1), 0);
    EXPECT_EQ(fake.security.written, std::vector<std::string>{root});

    // An account that cannot be found: one message for every folder, nothing changed.
    reset();
    EXPECT_EQ(setdirectorypermission(platform, wide(root), L"No Such Account", L"R", 0), 0);
    EXPECT_EQ(fake.ui.shown.size(), 5u);
    EXPECT_TRUE(fake.security.written.empty());

    // A missing folder: the message, then the walk's failure raised.
    reset();
    EXPECT_THROW(setdirectorypermission(platform, L"C:\\kxtest\\no-such-folder", L"Users", L"R", 0), Failure);
    EXPECT_EQ(fake.ui.shown, std::vector<std::wstring>{L"Error: Unable to Get the File Security Descriptor"});
}

TEST_F(FileSecurity, FullwidthNamesNeverBecomeOtherFoldersOrAccounts)
{
    // A subfolder named with the fullwidth "..\..\Data" (a legal name) is edited under its
    // own name, never as the folder two levels up; fullwidth "Users" is not the Users group.
    const std::string root = test_path("upload"), outside = test_path("Data");
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA((root + "\\inner").c_str(), nullptr);
    CreateDirectoryA(outside.c_str(), nullptr);
    CreateDirectoryW((wide(root) + L"\\inner\\\uff0e\uff0e\uff3c\uff0e\uff0e\uff3cData").c_str(), nullptr);

    setdirectorypermission(platform, wide(root), L"Users", L"R", 0);
    for (const std::string& path : fake.security.written) {
        EXPECT_EQ(path.rfind(root, 0), 0u) << path;
        EXPECT_EQ(path.find(".."), std::string::npos) << path;
    }
    EXPECT_EQ(std::count(fake.security.written.begin(), fake.security.written.end(), outside), 0);

    reset();
    EXPECT_EQ(setdirectorypermission(platform, wide(root), L"\uff35\uff53\uff45\uff52\uff53", L"R", 1), 0);
    EXPECT_TRUE(fake.security.written.empty());
}

TEST_F(FileSecurity, AccountNamesFromSids)
{
    const std::wstring administrators = getntaccountbysid(platform, L"S-1-5-32-544");
    ASSERT_EQ(administrators.size(), 64u);
    EXPECT_EQ(administrators.substr(0, 15), std::wstring(L"Administrators\0", 15));
    EXPECT_EQ(administrators.find_first_not_of(L' ', 15), std::wstring::npos);

    // What no SID string can be is refused as Windows refuses it (Wine takes an empty alias).
    for (const std::wstring& text : {std::wstring(L"X-1-5"), std::wstring(), std::wstring(L" "), std::wstring(L"S-"),
                                     std::wstring(L"BAD"), L"S-1-5-" + std::wstring(200, L'1')})
        EXPECT_EQ(getntaccountbysid(platform, text), L"GetLastError returned : 1337") << text;
    EXPECT_EQ(getntaccountbysid(platform, L"BA").substr(0, 15), std::wstring(L"Administrators\0", 15));
    EXPECT_EQ(getntaccountbysid(platform, L"S-1-5-21-1-2-3-4242"), L"GetLastError returned : 1332");
    reset();
    fake.security.fail("is_valid_sid", 1, 87);
    EXPECT_EQ(getntaccountbysid(platform, L"S-1-5-32-544"), L"GetLastError returned : 87");
    EXPECT_EQ(fake.security.calls.back(), "free_sid");
}

}  // namespace
}  // namespace kx::test
