// The account operations against the in-memory directory: the stage that answers for each
// failing step, what earlier stages leave done, the steps whose failure is ignored, and long names from SIDs.
#include <gtest/gtest.h>

#include <cstring>

#include "accounts/operations.h"
#include "operation_test.h"
#include "security/operations.h"

namespace kx::test {
namespace {

using namespace kx::accounts;

class Accounts : public OperationTest
{
protected:
    void reset() override
    {
        directory.accounts().root.children.clear();
        directory.before = nullptr;
        directory.add_account(L"User", L"Administrator");
        directory.add_account(L"Group", L"Staff");
    }

    int32_t flags_of(const wchar_t* user)
    {
        Node* node = directory.account(user);
        return node ? value_of(node, L"userflags").as<int32_t>() : -1;
    }
};

TEST_F(Accounts, CreateAnswersTheStageThatFailedAndKeepsWhatEarlierStagesDid)
{
    struct Case
    {
        const char* step;
        int occurrence;
        int32_t code;
        int32_t flags;     // of the new user afterwards; -1: no user
        bool member;       // the user is in the group
    };
    for (const Case& c : {
             Case{"", 0, 0, 0x10241, true},
             Case{"bind WinNT://HOST", 1, 1, -1, false},
             Case{"set_filter", 1, 1, -1, false},
             Case{"next", 2, 1, -1, false},
             Case{"create user bob", 1, 4, -1, false},
             Case{"set_info", 1, 4, -1, false},
             Case{"bind WinNT://HOST/bob", 1, 7, 0x201, false},
             Case{"call SetPassword", 1, 7, 0x201, false},
             Case{"set_info", 2, 7, 0x201, false},
             Case{"bind WinNT://HOST/bob", 2, 5, 0x201, false},
             Case{"get UserFlags", 1, 5, 0x201, false},
             Case{"put userFlags", 1, 5, 0x201, false},
             Case{"set_info", 3, 5, 0x201, false},
             Case{"bind WinNT://HOST/bob", 3, 6, 0x10201, false},
             Case{"get UserFlags", 2, 6, 0x10201, false},
             Case{"set_info", 4, 6, 0x10201, false},
             // A failed lookup of an existing group tries to create it again, which fails.
             Case{"child group Staff", 1, 2, 0x10241, false},
             // Membership is not reported.
             Case{"call Add", 1, 0, 0x10241, false},
             Case{"set_info", 5, 0, 0x10241, true},
         }) {
        reset();
        if (*c.step)
            directory.fail_at(c.step, c.occurrence, kAccessDenied);
        EXPECT_EQ(createntuser(platform, L"HOST", L"bob", L"secret", L"Staff"), c.code) << c.step << " " << c.occurrence;
        EXPECT_EQ(flags_of(L"bob"), c.flags) << c.step << " " << c.occurrence;
        EXPECT_EQ(directory.members(L"Staff"), c.member ? std::vector<String>{L"bob"} : std::vector<String>{})
            << c.step << " " << c.occurrence;
    }
}

TEST_F(Accounts, CreateKeepsAnExactNameAndMakesAMissingGroup)
{
    directory.add_account(L"User", L"bob").set(L"UserFlags", Variant(int32_t(0x203)));
    EXPECT_EQ(createntuser(platform, L"HOST", L"bob", L"new", L"Crew"), 0);
    EXPECT_EQ(flags_of(L"bob"), 0x203);
    EXPECT_EQ(directory.account(L"bob")->property(kxsim::winnt::kPasswordProperty), nullptr)
        << "the password of an existing account was set";
    EXPECT_EQ(directory.members(L"Crew"), std::vector<String>{L"bob"});

    // A name that differs in case counts as absent; the store refuses the duplicate.
    EXPECT_EQ(createntuser(platform, L"HOST", L"BOB", L"new", L"Crew"), 4);

    directory.fail_at("create group Team", 1, kAccessDenied);
    EXPECT_EQ(createntuser(platform, L"HOST", L"bob", L"new", L"Team"), 2);

    // Every account's name is read, also after the match: a failure reading a later one counts.
    directory.add_account(L"User", L"carol");
    directory.fail_at("name", 3, kAccessDenied);  // Administrator, bob, carol
    EXPECT_EQ(createntuser(platform, L"HOST", L"bob", L"new", L"Crew"), 1);
}

TEST_F(Accounts, QueriesAnswerTheirOwnCodeForAFailure)
{
    directory.add_account(L"User", L"web_IUSR_1");
    String user = L"unchanged";
    EXPECT_EQ(checkuser(platform, L"HOST", L"Administrator"), 0);
    EXPECT_EQ(getinternetuser(platform, L"HOST", user), 0);
    EXPECT_EQ(user, L"web_IUSR_1");
    // An account that is not there; a name that differs in case is another account.
    EXPECT_EQ(checkuser(platform, L"HOST", L"administrator"), 1);
    EXPECT_EQ(deletentuser(platform, L"HOST", L"nobody"), 1);
    EXPECT_EQ(deletentgroup(platform, L"HOST", L"Nobodies"), 1);
    directory.accounts().root.remove(L"web_IUSR_1");
    EXPECT_EQ(getinternetuser(platform, L"HOST", user), 2);

    struct Case
    {
        const char* step;
        int32_t check, delete_user, delete_group, ungroup, internet;
    };
    for (const Case& c : {Case{"bind WinNT://HOST", 1, 2, 2, 2, 1}, Case{"set_filter", 1, 2, 2, 2, 1},
                          Case{"next", 1, 2, 2, 2, 1}, Case{"name", 1, 2, 2, 2, 1}}) {
        auto failing = [&](auto call) {
            directory.fail_at(c.step, 1, kAccessDenied);
            return call();
        };
        String name = L"unchanged";
        EXPECT_EQ(failing([&] { return checkuser(platform, L"HOST", L"Administrator"); }), c.check) << c.step;
        EXPECT_EQ(failing([&] { return deletentuser(platform, L"HOST", L"Administrator"); }), c.delete_user) << c.step;
        EXPECT_EQ(failing([&] { return deletentgroup(platform, L"HOST", L"Staff"); }), c.delete_group) << c.step;
        EXPECT_EQ(failing([&] { return deletentuserfromgroup(platform, L"HOST", L"Staff", L"x"); }), c.ungroup) << c.step;
        EXPECT_EQ(failing([&] { return getinternetuser(platform, L"HOST", name); }), c.internet) << c.step;
        EXPECT_EQ(name, L"unchanged");
    }
    directory.before = nullptr;
    EXPECT_EQ(checkuser(platform, L"elsewhere", L"Administrator"), 1);
    EXPECT_EQ(deletentuser(platform, L"elsewhere", L"Administrator"), 2);

    // The deletion itself, and a removal that the group refuses.
    directory.add_account(L"User", L"bob");
    directory.account(L"Staff")->set(kxsim::winnt::kMembersProperty, Variant(Variant::List{Variant(L"bob")}));
    directory.fail_at("call DELETE", 1, kAccessDenied);
    EXPECT_EQ(deletentuser(platform, L"HOST", L"Administrator"), 2);
    directory.fail_at("call Remove", 1, kAccessDenied);
    EXPECT_EQ(deletentuserfromgroup(platform, L"HOST", L"Staff", L"bob"), 2);
    directory.before = nullptr;
    EXPECT_EQ(deletentuserfromgroup(platform, L"HOST", L"Staff", L"bob"), 0);
    EXPECT_EQ(directory.members(L"Staff"), std::vector<String>{});
    EXPECT_EQ(deletentgroup(platform, L"HOST", L"Staff"), 0);
    EXPECT_EQ(directory.account(L"Staff"), nullptr);
}

struct LongNames final : security::Security
{
    bool convert_string_sid_to_sid(const char*, void*& sid) override
    {
        sid = this;
        return true;
    }
    bool is_valid_sid(const void*) override { return true; }
    bool lookup_account_sid(const void*, char* name, uint32_t& name_size, char* domain, uint32_t& domain_size,
                            uint32_t&) override
    {
        const std::string n(99, 'n'), d(80, 'd');
        if (name_size <= n.size() || domain_size <= d.size()) {
            name_size = static_cast<uint32_t>(n.size() + 1);
            domain_size = static_cast<uint32_t>(d.size() + 1);
            return false;
        }
        std::memcpy(name, n.c_str(), name_size);
        std::memcpy(domain, d.c_str(), domain_size);
        return true;
    }
};

TEST_F(Accounts, NamesFromSidsLongerThanTheFirstBuffersGetBuffersOfTheLengthAskedFor)
{
    LongNames long_names;  // under the address sanitizer, which sees a lookup write past a buffer
    Platform longer{fake.directory, fake.files,    fake.random,     fake.ui,         fake.ansi,     long_names,
                    fake.services,  fake.versions, fake.sequential, fake.automation, fake.programs, fake.digests};
    EXPECT_EQ(file_security::getntaccountbysid(longer, L"S-1-5-1"), String(99, L'n') + L'\0');
}

}  // namespace
}  // namespace kx::test
