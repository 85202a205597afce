#pragma once

#include "platform/codepage/codepage.h"

namespace kx {

// CP_ACP through WideCharToMultiByte and MultiByteToWideChar.
class AnsiCodePage final : public CodePage
{
public:
    std::string to_ansi(const String& text) override;
    String from_ansi(const std::string& text) override;
};

}  // namespace kx
