// Programs, help and libraries as the utility operations reach them; names and command lines
// in the system's ANSI code page.
#pragma once

#include <cstdint>
#include <string>

namespace kx::programs {

class Programs
{
public:
    virtual ~Programs() = default;
    // Starts a command line with its window hidden, the program searched for as the system
    // searches programs, without waiting for it; the new task's identifier. Throws a Failure
    // when it cannot be started.
    virtual uint32_t start_hidden(const std::string& command_line) = 0;
    // HtmlHelpA of hhctrl.ocx with no caller window, the file, HH_DISPLAY_TOPIC and no data.
    // Throws a Failure when the help component or its entry cannot be had.
    virtual void html_help(const std::string& file) = 0;
    // LoadLibraryExA(name, no file, no flags); 0 when the library did not load.
    virtual uintptr_t load_library(const std::string& name) = 0;
    virtual void free_library(uintptr_t module) = 0;
};

}  // namespace kx::programs
