// The checksum upload in-process, with a recording in ADO's place: the statements byte for
// byte, the line rules, the traps and their closes.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>

#include "database/operations.h"
#include "faulty_ports.h"

namespace kx::test {
namespace {

using namespace kx::database;

class Upload : public ::testing::Test
{
protected:
    int32_t upload(const std::string& lines)
    {
        std::ofstream(list_path, std::ios::binary) << lines;
        fake.automation.clear();
        fake.automation.uses.clear();
        return updatemetabasewithcrcs(fake.platform, list, L"WEB01", L"Portal", L"kxdb", L"db,1433", L"sa", L"pw");
    }
    bool closed() const
    {
        return !fake.automation.uses.empty() && fake.automation.uses.back().member == "ADODB.Connection.Close";
    }

    TestPlatform fake;
    const std::string list_path = test_path("checksums.txt");
    const std::wstring list = std::wstring(list_path.begin(), list_path.end());
};

String expected_statement(const String& name, const String& checksum)
{
    return L"IF NOT EXISTS (SELECT * FROM OBJCT WHERE MACHINE = 'WEB01' AND OBJCT = '" + name +
           L"') INSERT INTO OBJCT (MACHINE, SERVER, MODUL, OBJCT, CHECKSUM) VALUES ('WEB01', 'WebServer', 'Portal', '" +
           name + L"', '" + checksum + L"') ELSE  UPDATE OBJCT SET CHECKSUM = '" + checksum +
           L"' WHERE MACHINE = 'WEB01' AND OBJCT = '" + name + L"'";
}

TEST_F(Upload, EveryUsableLineIsOneStatement)
{
    EXPECT_EQ(upload("web/default.asp|0A1B2C\r\nreadme\r\n|0A1B2C\r\na|\r\na|b|c\r\nbin/my_lib.dll|1\r\nit's_50%[x]|9"), 0);
    EXPECT_EQ(fake.automation.executed(),
              (std::vector<String>{expected_statement(L"web/default.asp", L"0A1B2C"), expected_statement(L"a", L""),
                                   expected_statement(L"a", L"b|c"), expected_statement(L"bin/my[_]lib.dll", L"1"),
                                   expected_statement(L"it''s[_]50[%][[]x]", L"9")}));
    const auto& uses = fake.automation.uses;
    ASSERT_GE(uses.size(), 4u);
    EXPECT_EQ(uses[1].member, "ADODB.Connection.put ConnectionString");
    EXPECT_EQ(uses[1].args[0], Variant(L"driver={SQL Server};server=db,1433;uid=sa;pwd=pw;database=kxdb"));
    EXPECT_EQ(uses[2].args[0], Variant(int16_t(30)));
    EXPECT_TRUE(closed());

    EXPECT_EQ(upload("readme\r\n|x"), 0);
    EXPECT_TRUE(fake.automation.executed().empty());
}

TEST_F(Upload, EachTrapClosesTheConnectionAndAnswersItsCode)
{
    struct Case
    {
        const char* failing;
        int occurrence;
        int32_t code;  // 0: the call itself fails
        int32_t status;
    };
    const std::string two_lines = "a|1\r\nb|2";
    for (const Case& c : {Case{"ADODB.Connection.Open", 1, 1, 0}, Case{"create ADODB.Command", 1, 1, 0},
                          Case{"ADODB.Command.putref ActiveConnection", 1, 1, 0}, Case{"ADODB.Command.Execute", 1, 3, 0},
                          Case{"ADODB.Command.Execute", 2, 3, 0},
                          // The close inside a trap is not trapped: its failure is the call's.
                          Case{"create ADODB.Connection", 1, 0, static_cast<int32_t>(0x800A005B)},
                          Case{"ADODB.Connection.Close", 1, 0, static_cast<int32_t>(0x80004005)}}) {
        std::ofstream(list_path, std::ios::binary) << two_lines;
        fake.automation.clear();
        fake.automation.uses.clear();
        fake.automation.fail(c.failing, c.occurrence, 0);
        if (std::string(c.failing) == "ADODB.Connection.Close")
            fake.automation.fail("ADODB.Command.Execute", 1, 0);
        try {
            EXPECT_EQ(updatemetabasewithcrcs(fake.platform, list, L"WEB01", L"Portal", L"kxdb", L"db", L"sa", L"pw"), c.code)
                << c.failing;
            EXPECT_TRUE(closed()) << c.failing;
        } catch (const Failure& failure) {
            EXPECT_EQ(c.code, 0) << c.failing;
            EXPECT_EQ(failure.status(), c.status) << c.failing;
        }
    }
    // The list file: missing, and empty (its first read fails).
    DeleteFileA(list_path.c_str());
    fake.automation.clear();
    EXPECT_EQ(updatemetabasewithcrcs(fake.platform, list, L"WEB01", L"Portal", L"kxdb", L"db", L"sa", L"pw"), 2);
    EXPECT_TRUE(closed());
    EXPECT_EQ(upload(""), 2);
    EXPECT_TRUE(fake.automation.executed().empty());
}

TEST(SqlEncodeString, EscapesQuotesAndPatternCharactersInOrder)
{
    TestPlatform fake;
    struct Case
    {
        Variant value;
        const wchar_t* encoded;
    };
    for (const Case& c : {Case{L"it's_50%[x]", L"it''s[_]50[%][[]x]"}, Case{L"[[%]", L"[[][[][%]]"},
                          Case{int32_t(42), L"42"}, Case{true, L"True"}, Case{Empty{}, L""}, Case{Null{}, L""},
                          Case{Variant::List{Variant(L"a")}, L""}})
        EXPECT_EQ(SQLEncodeString(fake.platform, c.value), Variant(c.encoded));
}

}  // namespace
}  // namespace kx::test
