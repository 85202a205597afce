// Text files, text for SQL, port probes, program launch, help and library checks through COM.
#include <winsock2.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "simulated_server.h"

namespace kx::test {
namespace {

using Utilities = SimulatedServer;

std::string read(const std::wstring& path)
{
    std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : std::string("<missing>");
}

void write(const std::wstring& path, const std::string& bytes)
{
    std::ofstream(std::string(path.begin(), path.end()), std::ios::binary) << bytes;
}

// SQLEncodeString takes every scalar a script can pass, by value and in a typed variable, as
// the text automation gives it (a script's CStr): nothing rounded, large numbers and truth
// values in automation's form.
TEST(SqlText, EveryScalarIsEncodedAsItsAutomationText)
{
    ComPtr<IDispatch> late = create("updatemetabasewithcrcs");
    ASSERT_TRUE(late);
    auto value = [](VARTYPE type, std::function<void(VARIANT&)> set) {
        return [type, set](VARIANT& v) {
            V_VT(&v) = type;
            set(v);
        };
    };
    struct Case
    {
        const char* what;
        std::function<void(VARIANT&)> make;
        const wchar_t* text;  // what CStr gives
    };
    for (const Case& c : {
             Case{"CSng(1.5)", value(VT_R4, [](VARIANT& v) { V_R4(&v) = 1.5f; }), L"1.5"},
             Case{"CSng(0.1)", value(VT_R4, [](VARIANT& v) { V_R4(&v) = 0.1f; }), L"0.1"},
             Case{"CCur(2.5)", value(VT_CY, [](VARIANT& v) { V_CY(&v).int64 = 25000; }), L"2.5"},
             Case{"CDbl(1E20)", value(VT_R8, [](VARIANT& v) { V_R8(&v) = 1e20; }), L"1E+20"},
             Case{"CDbl(-0.5)", value(VT_R8, [](VARIANT& v) { V_R8(&v) = -0.5; }), L"-0.5"},
             Case{"CByte(200)", value(VT_UI1, [](VARIANT& v) { V_UI1(&v) = 200; }), L"200"},
             Case{"an unsigned long past a long", value(VT_UI4, [](VARIANT& v) { V_UI4(&v) = 4000000000u; }),
                  L"4000000000"},
             Case{"CInt(-7)", value(VT_I2, [](VARIANT& v) { V_I2(&v) = -7; }), L"-7"},
             Case{"True", value(VT_BOOL, [](VARIANT& v) { V_BOOL(&v) = VARIANT_TRUE; }), L"True"},
             Case{"a decimal", value(VT_DECIMAL, [](VARIANT& v) {
                  VarDecFromR8(12.345, &V_DECIMAL(&v));
                  V_VT(&v) = VT_DECIMAL;  // the decimal fills the whole variant
              }), L"12.345"},
         }) {
        Var in, by_value, by_reference;
        c.make(in.v);
        ASSERT_EQ(invoke(late.Get(), L"SQLEncodeString", &in.v, 1, &by_value.v).status, S_OK) << c.what;
        EXPECT_EQ(text_of(by_value.v), c.text) << c.what;
        VARIANTARG reference;
        V_VT(&reference) = VT_BYREF | V_VT(&in.v);
        V_BYREF(&reference) = V_VT(&in.v) == VT_DECIMAL ? static_cast<void*>(&V_DECIMAL(&in.v)) : &V_UI1(&in.v);
        ASSERT_EQ(invoke(late.Get(), L"SQLEncodeString", &reference, 1, &by_reference.v).status, S_OK) << c.what;
        EXPECT_EQ(text_of(by_reference.v), c.text) << c.what << " by reference";
    }
}

TEST_F(Utilities, TextIsReplacedFirstInEachLineOrEverywhere)
{
    CreateDirectoryW(L"C:\\kxtest", nullptr);
    const std::wstring file = L"C:\\kxtest\\settings.ini";
    struct Case
    {
        std::string content;
        std::wstring search, replace;
        std::string first, every;  // what replacestringinfile and Searchandreplace write
    };
    const std::string long_line(1 << 20, 'p');
    for (const Case& c : {
             Case{"listen port 80 port\r\nPORT=1", L"PORT", L"8080", "listen 8080 80 port\r\n8080=1\r\n",
                  "listen 8080 80 8080\r\n8080=1\r\n"},
             Case{"a\nb\r\n\r\nlast", L"x", L"y", "a\r\nb\r\n\r\nlast\r\n", "a\r\nb\r\n\r\nlast\r\n"},
             Case{"aAaa", L"aa", L"b", "baa\r\n", "bb\r\n"},
             Case{"keep", L"", L"x", "keep\r\n", "keep\r\n"},
             Case{"caf\xe9 CAF\xc9", L"\u00e9", L"\u4e2d", "caf? CAF\xc9\r\n", "caf? CAF?\r\n"},
             Case{long_line, L"P", L"q", "q" + long_line.substr(1) + "\r\n", std::string(1 << 20, 'q') + "\r\n"},
         }) {
        write(file, c.content);
        EXPECT_EQ(answer_of("replacestringinfile", {file, c.search, c.replace}), 0);
        EXPECT_EQ(read(file), c.content) << "the input stays as it was";
        EXPECT_EQ(read(file + L".tmp"), c.first);
        const Answer every = call("Searchandreplace", L"Searchandreplace", {file, c.search, c.replace});
        EXPECT_EQ(every.status, S_OK);
        EXPECT_EQ(V_VT(&every.result.v), VT_I2);
        EXPECT_EQ(read(file), c.every);
        EXPECT_EQ(read(file + L"_new"), "<missing>");
    }

    // A missing file, an empty one, and an output that cannot be created.
    DeleteFileW(file.c_str());
    DeleteFileW((file + L".tmp").c_str());
    EXPECT_EQ(answer_of("replacestringinfile", {file, L"a", L"b"}), 1);
    EXPECT_EQ(read(file + L".tmp"), "<missing>");
    const Answer missing = call("Searchandreplace", L"Searchandreplace", {file, L"a", L"b"});
    EXPECT_EQ(missing.status, static_cast<HRESULT>(0x800A0035));
    EXPECT_EQ(read(file + L"_new"), "<missing>");
    write(file, "");
    EXPECT_EQ(answer_of("replacestringinfile", {file, L"a", L"b"}), 2);
    EXPECT_EQ(read(file + L".tmp"), "");
    const Answer empty = call("Searchandreplace", L"Searchandreplace", {file, L"a", L"b"});
    EXPECT_EQ(empty.status, static_cast<HRESULT>(0x800A003E));  // input past end of file
    write(file, "x\r\n");
    DeleteFileW((file + L".tmp").c_str());
    CreateDirectoryW((file + L".tmp").c_str(), nullptr);
    EXPECT_EQ(answer_of("replacestringinfile", {file, L"a", L"b"}), 2);
    RemoveDirectoryW((file + L".tmp").c_str());
}

TEST_F(Utilities, APortIsInUseWhenASiteBindsItFirstOnAllAddresses)
{
    store(machine_with({{L"1", L"Two ports", {L":8080:", L":80:"}},
                        {L"2", L"Addressed", {L"10.1.2.3:81:"}},
                        {L"3", L"Named", {L":82:intranet"}},
                        {L"4", L"Secure", {L":9000:"}, {L":443:"}}}));
    struct Case
    {
        const wchar_t* port;
        long answer;
    };
    for (const Case& c : {Case{L"8080", 0}, Case{L"80", 1}, Case{L"81", 1}, Case{L"82", 1}, Case{L"443", 0},
                          Case{L"9000", 0}, Case{L":8080:", 1}, Case{L"", 1}}) {
        const Answer a = call("checkportinuse", L"checkportinuse", {Argument::variable(c.port)});
        EXPECT_EQ(a.number(), c.answer) << c.port;
        EXPECT_EQ(a.after[0], L":" + std::wstring(c.port) + L":");
    }
}

// A connection that hangs is probed in-process, where the message queue's runs are counted:
// under Wine each run of an empty queue costs half a millisecond, and the wait's 250 000 runs
// would take minutes.
TEST_F(Utilities, APortProbeEndsAsSoonAsTheControlKnows)
{
    WinsockDouble control;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    Listener open(5);
    EXPECT_EQ(answer_of("portscan", {L"127.0.0.1", open.port()}), 0);
    open.close();
    EXPECT_EQ(answer_of("portscan", {L"127.0.0.1", open.port()}), 1);  // refused at once

    const Answer bad_port = call("portscan", L"portscan", {L"127.0.0.1", L"not a port"});
    EXPECT_EQ(bad_port.status, static_cast<HRESULT>(0x800A000D));  // type mismatch
    EXPECT_EQ(answer_of("portscan", {L"no.such.host.invalid", L"80"}), 1);
    WSACleanup();
}

TEST_F(Utilities, ProgramsHelpAndLibraries)
{
    const std::wstring mark = L"C:\\kxtest\\launched.mark";
    DeleteFileW(mark.c_str());
    EXPECT_EQ(answer_of("launchapplication", {L"\"" + beside_tests(L"kx_mark.exe") + L"\" " + mark}), 0);
    for (int i = 0; i < 100 && GetFileAttributesW(mark.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    EXPECT_NE(GetFileAttributesW(mark.c_str()), INVALID_FILE_ATTRIBUTES) << "the program did not run";
    EXPECT_EQ(answer_of("launchapplication", {L"C:\\kxtest\\no-such-program.exe"}), 1);
    EXPECT_EQ(answer_of("help", {L"C:\\kxtest\\no-such-help.chm"}), 0);

    struct Case
    {
        std::wstring name, after;
        long answer;
    };
    for (const Case& c : {Case{L"kernel32.dll", L"kernel32.dll", 0}, Case{L"C:\\kxtest\\no-such.dll", L"C:\\kxtest\\no-such.dll", 1},
                          Case{beside_tests(L"kx_dependent.dll"), beside_tests(L"kx_dependent.dll"), 1},
                          Case{L"\u4e2d.dll", L"?.dll", 1}, Case{L"", L"", 1}}) {
        const Answer a = call("checkdllavailable", L"checkdllavailable", {Argument::variable(c.name)});
        EXPECT_EQ(a.number(), c.answer) << std::string(c.name.begin(), c.name.end());
        EXPECT_EQ(a.after[0], c.after);
    }
}

TEST_F(Utilities, FileDigestsComeFromTheDigestLibrary)
{
    const std::wstring file = L"C:\\kxtest\\digest.bin";
    struct Case
    {
        std::string content;
        const wchar_t* digest;  // RFC 1321's test suite
    };
    for (const Case& c : {Case{"", L"d41d8cd98f00b204e9800998ecf8427e"}, Case{"abc", L"900150983cd24fb0d6963f7d28e17f72"},
                          Case{"1234567890123456789012345678901234567890"
                               "1234567890123456789012345678901234567890",
                               L"57edf4a22be3c955ac49da2e2107b67a"}}) {
        write(file, c.content);
        const Answer a = call("getcrcforfile", L"getcrcforfile", {Argument::variable(file)});
        EXPECT_EQ(a.text(), c.digest) << c.content;
        EXPECT_EQ(a.after[0], file);
    }
    // An unreadable file leaves the 32 blanks; a path outside the code page comes back as it went.
    const Answer unreadable = call("getcrcforfile", L"getcrcforfile", {Argument::variable(L"C:\\kxtest\\\u4e2d.bin")});
    EXPECT_EQ(unreadable.text(), std::wstring(32, L' '));
    EXPECT_EQ(unreadable.after[0], L"C:\\kxtest\\?.bin");

    // Without the digest library the call fails.
    const wchar_t* library = L"C:\\windows\\system32\\aamd532.dll";
    const std::wstring aside = std::wstring(library) + L".aside";
    ASSERT_TRUE(MoveFileW(library, aside.c_str()));
    const Answer missing = call("getcrcforfile", L"getcrcforfile", {Argument::variable(file)});
    MoveFileW(aside.c_str(), library);
    EXPECT_EQ(missing.status, static_cast<HRESULT>(0x800A0035));
    EXPECT_NE(missing.description.find(L"aamd532.dll"), std::wstring::npos);
}

}  // namespace
}  // namespace kx::test
