// FTP sites against the in-memory directory.
#include <gtest/gtest.h>

#include "operation_test.h"
#include "ftp/operations.h"

namespace kx::test {
namespace {

using namespace kx::ftp;

class Ftp : public OperationTest
{
protected:
    void reset() override
    {
        directory.web().root.children.clear();
        directory.before = nullptr;
        directory.add(L"", L"IIsFtpService", L"MSFTPSVC");
        directory.add(L"MSFTPSVC", L"IIsFtpServer", L"1",
                      {{L"ServerComment", Variant(L"Files")},
                       {L"ServerBindings", Variant(Variant::List{Variant(L":21:"), Variant(L":2121:")})}});
        directory.add(L"MSFTPSVC", L"IIsFtpInfo", L"Info", {{L"ServerComment", Variant(L"Files")}});
    }
};

TEST_F(Ftp, LookupsAndNumbering)
{
    directory.add(L"MSFTPSVC", L"IIsFtpServer", L"02", {{L"ServerComment", Variant(L"Files")},
                                                         {L"ServerBindings", Variant(Variant::List{Variant(L":22:")})}});
    directory.add(L"MSFTPSVC", L"IIsFtpServer", L"4", {{L"ServerComment", Variant(L"Other")}});
    EXPECT_EQ(getftpid(platform, L"Files"), 2);
    EXPECT_EQ(getftpid(platform, L"files"), 0);
    EXPECT_EQ(getftpport(platform, L"Files"), L":22:");
    EXPECT_EQ(getftpport(platform, L"None"), L"Not Found");
    EXPECT_EQ(getfreeftpid(platform), 3);
    directory.fail_at("property ServerComment", 1, kAccessDenied);
    EXPECT_THROW(getftpid(platform, L"Files"), Failure);
}

TEST_F(Ftp, CreateRewritesThePortAndAnswersTheStageThatFailed)
{
    String port = L"2100";
    EXPECT_EQ(createftpsite(platform, L"5", L"Uploads", port, L"c:\\up"), 0);
    EXPECT_EQ(port, L":2100:");
    Node* site = directory.find(L"MSFTPSVC/5");
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(value_of(site, L"servercomment"), Variant(L"Uploads"));
    EXPECT_EQ(value_of(site, L"serverbindings"), Variant(Variant::List{Variant(L":2100:")}));
    EXPECT_EQ(value_of(site, L"logtype"), Variant(int16_t(1)));
    Node* root = directory.find(L"MSFTPSVC/5/ROOT");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->class_name, L"IIsFtpVirtualDir");
    EXPECT_EQ(value_of(root, L"accesswrite"), Variant(true));
    EXPECT_EQ(value_of(root, L"accessread"), Variant(false));
    EXPECT_EQ(value_of(root, L"path"), Variant(L"c:\\up"));

    struct Case
    {
        const char* step;
        int32_t code;
        bool site_stored;
        const wchar_t* port_after;
    };
    for (const Case& c : {Case{"bind IIS://Localhost/MSFTPSVC", 1, false, L"21"},
                          Case{"create IIsFtpServer 6", 2, false, L"21"},
                          Case{"set_property ServerBindings", 2, false, L":21:"}, Case{"set_info", 2, false, L":21:"},
                          Case{"bind IIS://Localhost/MSFTPSVC/6", 3, true, L":21:"},
                          Case{"create IIsFtpVirtualDir ROOT", 4, true, L":21:"},
                          Case{"put AccessRead", 4, true, L":21:"}}) {
        reset();
        directory.fail_at(c.step, 1, kAccessDenied);
        String p = L"21";
        EXPECT_EQ(createftpsite(platform, L"6", L"More", p, L"c:\\more"), c.code) << c.step;
        EXPECT_EQ(p, c.port_after) << c.step;
        EXPECT_EQ(directory.find(L"MSFTPSVC/6") != nullptr, c.site_stored) << c.step;
        EXPECT_EQ(directory.find(L"MSFTPSVC/6/ROOT"), nullptr) << c.step;
    }
    reset();
    String taken = L"21";
    EXPECT_EQ(createftpsite(platform, L"1", L"Twin", taken, L"c:\\twin"), 2);
}

TEST_F(Ftp, StartStopAndDeleteAnswerTheirCodes)
{
    EXPECT_EQ(startftpsite(platform, L"1"), 0);
    EXPECT_EQ(value_of(directory.find(L"MSFTPSVC/1"), L"ServerState"), Variant(kxsim::iis::kStarted));
    EXPECT_EQ(stopftpsite(platform, L"1"), 0);
    EXPECT_EQ(value_of(directory.find(L"MSFTPSVC/1"), L"ServerState"), Variant(kxsim::iis::kStopped));
    EXPECT_EQ(startftpsite(platform, L"7"), 2);
    EXPECT_EQ(stopftpsite(platform, L"7"), 1);
    directory.fail_at("call Stop", 1, kAccessDenied);
    EXPECT_EQ(stopftpsite(platform, L"1"), 2);
    directory.fail_at("call Start", 1, kAccessDenied);
    EXPECT_EQ(startftpsite(platform, L"1"), 2);
    directory.before = nullptr;

    EXPECT_EQ(deleteftpsite(platform, L"7"), 2);
    EXPECT_EQ(deleteftpsite(platform, L"Info"), 2);  // not a site: the class does not match
    EXPECT_EQ(deleteftpsite(platform, L"1"), 0);
    EXPECT_EQ(directory.find(L"MSFTPSVC/1"), nullptr);
    EXPECT_EQ(std::count(directory.steps.begin(), directory.steps.end(), "call DELETE"), 3);
}

}  // namespace
}  // namespace kx::test
