#include "platform/programs/programs_win32.h"

#include <windows.h>

#include <vector>

#include "core/failure.h"
#include "platform/codepage/codepage_win32.h"
#include "platform/win32/handle.h"
#include "platform/win32/limits.h"
#include "platform/win32/procedure.h"

namespace kx::programs {

uint32_t Win32Programs::start_hidden(const std::string& command_line)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (win32::longer_than(command_line.c_str(), win32::kCommandLineLimit, ERROR_FILENAME_EXCED_RANGE))
        throw Failure(static_cast<int32_t>(0x800A0035), L"File not found");
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        throw Failure(static_cast<int32_t>(0x800A0035), L"File not found");
    win32::Handle thread(process.hThread), started(process.hProcess);
    return process.dwProcessId;
}

// The help component stays loaded once it has been used: the viewer it opens lives on after
// the call, in this process. It takes the file's name, and the name its environment variables
// expand to, into buffers of MAX_PATH characters: a longer name is refused before it is called.
void Win32Programs::html_help(const std::string& file)
{
    if (win32::path_too_long(file.c_str()) || ExpandEnvironmentStringsA(file.c_str(), nullptr, 0) > MAX_PATH)
        throw Failure(static_cast<int32_t>(0x800A004C), L"Path not found");
    using HtmlHelp = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    static HMODULE component = nullptr;
    if (!component)
        component = LoadLibraryA("hhctrl.ocx");
    if (!component)
        throw Failure(static_cast<int32_t>(0x800A0035), L"File not found: hhctrl.ocx");
    const auto help = win32::procedure<HtmlHelp>(component, "HtmlHelpA");
    if (!help)
        throw Failure(static_cast<int32_t>(0x800A01C5), L"Can't find DLL entry point HtmlHelpA in hhctrl.ocx");
    if (ui::Quiet::wanted()) {
        quiet_.hold_back(L"the help viewer for " + AnsiCodePage().from_ansi(file));
        return;
    }
    help(nullptr, file.c_str(), 0 /* HH_DISPLAY_TOPIC */, 0);
}

uintptr_t Win32Programs::load_library(const std::string& name)
{
    return win32::path_too_long(name.c_str()) ? 0 : reinterpret_cast<uintptr_t>(LoadLibraryExA(name.c_str(), nullptr, 0));
}

void Win32Programs::free_library(uintptr_t module) { FreeLibrary(reinterpret_cast<HMODULE>(module)); }

}  // namespace kx::programs
