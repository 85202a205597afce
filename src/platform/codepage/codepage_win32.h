#pragma once

#include "platform/codepage/codepage.h"

namespace kx {

// An 8-bit code page through WideCharToMultiByte and MultiByteToWideChar: the system's ANSI
// code page (CP_ACP) unless another is named.
class AnsiCodePage final : public CodePage
{
public:
    explicit AnsiCodePage(unsigned code_page = 0);
    std::string to_ansi(const String& text) override;
    String from_ansi(const std::string& text) override;

private:
    unsigned code_page_;
};

}  // namespace kx
