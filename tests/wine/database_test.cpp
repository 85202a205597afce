// Database logons and the checksum upload through COM against a real PostgreSQL server that
// the test runner started (tools/with_postgres.py): ODBC's driver "SQL Server" is
// PostgreSQL's, and the data source KXORA stands for an Oracle alias.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "simulated_server.h"

namespace kx::test {
namespace {

class Database : public SimulatedServer
{
protected:
    void SetUp() override
    {
        SimulatedServer::SetUp();
        if (port.empty())
            GTEST_SKIP() << "no database server: run through tools/with_postgres.py";
    }

    // A class of that name registered, or not, for the length of a test.
    static void provider(const wchar_t* progid, bool installed)
    {
        if (installed)
            RegSetKeyValueW(HKEY_CLASSES_ROOT, (std::wstring(progid) + L"\\CLSID").c_str(), nullptr, REG_SZ,
                            L"{C5F2A8D4-3B4E-4F6A-8C9D-0E1F2A3B4C5D}", 78);
        else
            RegDeleteTreeW(HKEY_CLASSES_ROOT, progid);
    }

    const std::wstring port = environment(L"KX_PG_PORT");
    const std::wstring password = environment(L"KX_PG_PASSWORD");
    const std::wstring server = L"127.0.0.1," + port;
};

TEST_F(Database, SqlServerLogons)
{
    struct Case
    {
        std::wstring server, user, password, database;
        long answer;
    };
    for (const Case& c : {Case{server, L"kestrix", password, L"kxdb", 0}, Case{server, L"kestrix", L"wrong", L"kxdb", 1},
                          Case{server, L"kestrix", password, L"nosuchdb", 1},
                          Case{server, L"kestrix", password, L"kxclosed", 1},  // the login may not use it
                          Case{L"127.0.0.1,1", L"kestrix", password, L"kxdb", 1}}) {
        const Answer a = call("checksqllogon", L"checksqllogon", {c.server, c.user, c.password, c.database});
        EXPECT_EQ(a.number(), c.answer) << std::string(c.database.begin(), c.database.end());
    }
}

TEST_F(Database, OracleLogonsTryOraclesProviderThenMicrosofts)
{
    EXPECT_EQ(answer_of("checkoralogon", {L"KXORA", L"kestrix", password}), 0);  // through MSDAORA.1
    EXPECT_EQ(answer_of("checkoralogon", {L"KXORA", L"kestrix", L"wrong"}), 1);
    EXPECT_EQ(answer_of("checkoralogon", {L"NOSUCHALIAS", L"kestrix", password}), 1);
    provider(L"MSDAORA.1", false);
    EXPECT_EQ(answer_of("checkoralogon", {L"KXORA", L"kestrix", password}), 1);
    provider(L"OraOLEDB.Oracle.1", true);
    EXPECT_EQ(answer_of("checkoralogon", {L"KXORA", L"kestrix", password}), 0);
    provider(L"OraOLEDB.Oracle.1", false);
    provider(L"MSDAORA.1", true);
}

TEST_F(Database, TheUploadsStatementReachesTheServerAsWritten)
{
    CreateDirectoryW(L"C:\\kxtest", nullptr);
    const std::wstring list = L"C:\\kxtest\\upload.txt";
    std::ofstream(std::string(list.begin(), list.end()), std::ios::binary) << "readme\r\nbin/my_lib.dll|0A1B\r\n";
    // PostgreSQL does not take SQL Server's batch: the first statement fails, with trap 3.
    EXPECT_EQ(answer_of("updatemetabasewithcrcs", {list, L"WEB01", L"Portal", L"kxdb", server, L"kestrix", password}), 3);
    const std::wstring log_path = environment(L"KX_PG_LOG");
    std::ifstream in("Z:" + std::string(log_path.begin(), log_path.end()));
    const std::string log{std::istreambuf_iterator<char>(in), {}};
    const std::string sent =
        "IF NOT EXISTS (SELECT * FROM OBJCT WHERE MACHINE = 'WEB01' AND OBJCT = 'bin/my[_]lib.dll') INSERT INTO "
        "OBJCT (MACHINE, SERVER, MODUL, OBJCT, CHECKSUM) VALUES ('WEB01', 'WebServer', 'Portal', 'bin/my[_]lib.dll', "
        "'0A1B') ELSE  UPDATE OBJCT SET CHECKSUM = '0A1B' WHERE MACHINE = 'WEB01' AND OBJCT = 'bin/my[_]lib.dll'";
    EXPECT_NE(log.find("STATEMENT:  " + sent + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(std::string(password.begin(), password.end())), std::string::npos);

    EXPECT_EQ(answer_of("updatemetabasewithcrcs", {L"C:\\kxtest\\none.txt", L"W", L"M", L"kxdb", server, L"kestrix",
                                                   password}),
              2);
    // A refused logon: trap 1 closes a connection that never opened, and that failure is the call's.
    const Answer refused = call("updatemetabasewithcrcs", L"updatemetabasewithcrcs",
                                {list, L"WEB01", L"Portal", L"kxdb", server, L"kestrix", L"secret-that-fails"});
    EXPECT_EQ(refused.status, static_cast<HRESULT>(0x800A0E78));
    EXPECT_EQ(refused.description.find(L"secret-that-fails"), std::wstring::npos);
}

}  // namespace
}  // namespace kx::test
