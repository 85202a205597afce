#pragma once

#include "platform/programs/programs.h"
#include "platform/ui/quiet.h"

namespace kx::programs {

// When quiet, the help viewer is not opened: the file's name is held back instead, once the
// help component and its entry were found.
class Win32Programs final : public Programs
{
public:
    explicit Win32Programs(ui::Quiet& quiet) : quiet_(quiet) {}
    uint32_t start_hidden(const std::string& command_line) override;
    void html_help(const std::string& file) override;
    uintptr_t load_library(const std::string& name) override;
    void free_library(uintptr_t module) override;

private:
    ui::Quiet& quiet_;
};

}  // namespace kx::programs
