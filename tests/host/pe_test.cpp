// Checks of the built library files: what a setup program's loader and registrar see.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

#include "pe_file.h"

namespace kx {
namespace {

struct Build
{
    const char* dll;
    const char* typelib;
    uint16_t machine;
    uint32_t syskind;  // SYS_WIN32 1, SYS_WIN64 3
};

class LibraryFile : public ::testing::TestWithParam<Build>
{
};

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

TEST_P(LibraryFile, ExportsExactlyTheFourServerEntryPointsUndecorated)
{
    pe::File file(GetParam().dll);
    EXPECT_EQ(file.machine(), GetParam().machine);
    std::vector<std::string> exports = file.exports();
    std::sort(exports.begin(), exports.end());
    EXPECT_EQ(exports, (std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                                  "DllUnregisterServer"}));
}

TEST_P(LibraryFile, ImportsOnlySystemLibraries)
{
    const std::set<std::string> system{"kernel32.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll", "activeds.dll",
                                       "bcrypt.dll",   "user32.dll",   "version.dll", "msvcrt.dll", "ws2_32.dll"};
    for (const std::string& name : pe::File(GetParam().dll).imports())
        EXPECT_TRUE(system.count(lower(name))) << name << " is not a system library";
}

TEST_P(LibraryFile, EmbedsItsTypeLibraryForItsOwnTarget)
{
    pe::File file(GetParam().dll);
    const auto embedded = file.resource(u"TYPELIB", 1);
    ASSERT_TRUE(embedded.has_value());
    std::ifstream in(GetParam().typelib, std::ios::binary);
    const std::vector<uint8_t> compiled{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(*embedded, compiled);
    ASSERT_GE(embedded->size(), 24u);
    EXPECT_EQ(std::string(embedded->begin(), embedded->begin() + 4), "MSFT");
    const uint32_t flags = (*embedded)[20] | (*embedded)[21] << 8;
    EXPECT_EQ(flags & 0xF, GetParam().syskind);
}

uint32_t u32_at(const std::vector<uint8_t>& b, std::size_t at)
{
    return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | uint32_t(b.at(at + 3)) << 24;
}

// The flags as the file stores them: every dispatch interface is hidden, dual,
// non-extensible, OLE-automation compatible and dispatchable, and there are 51 of them.
TEST_P(LibraryFile, StoresEveryInterfaceAsAHiddenDualNonExtensibleAutomationInterface)
{
    const auto tlb = pe::File(GetParam().dll).resource(u"TYPELIB", 1);
    ASSERT_TRUE(tlb.has_value());
    const uint32_t varflags = u32_at(*tlb, 0x14), count = u32_at(*tlb, 0x20);
    const std::size_t segments = 0x54 + (varflags & 0x100 ? 4 : 0) + 4 * count;
    const uint32_t table = u32_at(*tlb, segments);
    int dispatch = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t kind = u32_at(*tlb, table + i * 0x64) & 0xF, flags = u32_at(*tlb, table + i * 0x64 + 0x30);
        if (kind == 4 /* TKIND_DISPATCH */) {
            ++dispatch;
            EXPECT_EQ(flags, 0x11D0u) << "type info " << i;
        }
    }
    EXPECT_EQ(dispatch, 51);
}

// Every function of every interface is stdcall, the convention a 32-bit client calls with.
TEST_P(LibraryFile, DeclaresEveryFunctionStdcall)
{
    const auto tlb = pe::File(GetParam().dll).resource(u"TYPELIB", 1);
    ASSERT_TRUE(tlb.has_value());
    const uint32_t varflags = u32_at(*tlb, 0x14), count = u32_at(*tlb, 0x20);
    const uint32_t table = u32_at(*tlb, 0x54 + (varflags & 0x100 ? 4 : 0) + 4 * count);
    int functions = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const std::size_t info = table + i * 0x64;
        const uint32_t block = u32_at(*tlb, info + 0x04), cfuncs = u32_at(*tlb, info + 0x18) & 0xFFFF;
        std::size_t record = block + 4;
        for (uint32_t f = 0; f < cfuncs; ++f, ++functions) {
            const uint32_t callconv = (u32_at(*tlb, record + 16) >> 8) & 0xF;
            EXPECT_EQ(callconv, 4u /* CC_STDCALL */) << "type info " << i << ", function " << f;
            record += u32_at(*tlb, record) & 0xFFFF;
        }
    }
    EXPECT_GE(functions, 54);
}

TEST_P(LibraryFile, CarriesItsVersionStrings)
{
    const auto resource = pe::File(GetParam().dll).resource(16, 1);
    ASSERT_TRUE(resource.has_value());
    const auto strings = pe::version_strings(*resource);
    const std::map<std::u16string, std::u16string> expected{
        {u"FileVersion", u"1.00"},      {u"ProductVersion", u"1.00"},         {u"InternalName", u"Kestrix"},
        {u"ProductName", u"Kestrix"},   {u"OriginalFilename", u"Kestrix.dll"}, {u"OLESelfRegister", u""}};
    EXPECT_EQ(strings, expected);
}

// The digest library that ships beside it: MDFile alone, undecorated, and system imports only.
TEST_P(LibraryFile, TheDigestLibraryExportsMDFileUndecorated)
{
    const std::string dll = GetParam().dll;
    pe::File file(dll.substr(0, dll.rfind('/')) + "/digest/aamd532.dll");
    EXPECT_EQ(file.machine(), GetParam().machine);
    EXPECT_EQ(file.exports(), std::vector<std::string>{"MDFile"});
    for (const std::string& name : file.imports())
        EXPECT_TRUE(lower(name) == "kernel32.dll" || lower(name) == "bcrypt.dll" || lower(name) == "msvcrt.dll") << name;
}

INSTANTIATE_TEST_SUITE_P(Builds, LibraryFile,
                         ::testing::Values(Build{KX_WIN32_DLL, KX_WIN32_TLB, 0x014C, 1},
                                           Build{KX_WIN64_DLL, KX_WIN64_TLB, 0x8664, 3}),
                         [](const auto& info) { return info.param.machine == 0x014C ? "win32" : "win64"; });

}  // namespace
}  // namespace kx
