#pragma once

#include "platform/programs/programs.h"

namespace kx::programs {

class Win32Programs final : public Programs
{
public:
    uint32_t start_hidden(const std::string& command_line) override;
    void html_help(const std::string& file) override;
    uintptr_t load_library(const std::string& name) override;
    void free_library(uintptr_t module) override;
};

}  // namespace kx::programs
