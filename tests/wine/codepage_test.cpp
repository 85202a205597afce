// Conversions to 8-bit code pages through Wine's own WideCharToMultiByte: what a code page
// lacks becomes its default character, never a look-alike that turns one name into another.
#include <gtest/gtest.h>

#include "core/failure.h"
#include "platform/codepage/codepage_win32.h"

namespace kx::test {
namespace {

TEST(CodePage, WhatTheCodePageLacksBecomesTheDefaultCharacter)
{
    const struct
    {
        unsigned code_page;
        const wchar_t* text;
        const char* ansi;
    } cases[] = {
        {1252, L"\uff0e\uff0e\uff3c\uff35\uff53\uff45\uff52\uff53", "????????"},  // fullwidth "..\Users"
        {1252, L"caf\u00e9", "caf\xe9"},  // the code page has it
        {1252, L"\u4e00\u0100", "??"},    // no look-alike; A with macron would best-fit to "A"
        {1250, L"\uff0e\u0141", "?\xa3"},
        // UTF-8 holds every character. Windows refuses the no-best-fit flag for it (and for
        // GB 18030, which Wine lacks); Wine takes the flag: either way the bytes are these.
        {65001, L"\uff0e\u4e00", "\xef\xbc\x8e\xe4\xb8\x80"},
        {0, L"\uff35sers", "?sers"},  // the process's own code page, 1252 here
    };
    for (const auto& c : cases) {
        std::string ansi;
        EXPECT_NO_THROW(ansi = AnsiCodePage(c.code_page).to_ansi(c.text)) << c.code_page;
        EXPECT_EQ(ansi, c.ansi) << c.code_page << " " << testing::PrintToString(std::wstring(c.text));
    }
    // A conversion that gives nothing is a failure, never an empty name handed on.
    EXPECT_THROW(AnsiCodePage(12345).to_ansi(L"Users"), Failure);
}

}  // namespace
}  // namespace kx::test
