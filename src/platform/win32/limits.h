// The longest names the platform's ANSI functions take, by kind. A longer one never reaches
// them (some copy a name into a buffer of the limit's size unchecked): the ports refuse it as
// the platform refuses a name it cannot hold. Windows only.
#pragma once

#include <windows.h>

#include <cstring>

namespace kx::win32 {

// Characters without the closing NUL.
constexpr std::size_t kPathLimit = MAX_PATH - 1;         // a file, folder or library path
constexpr std::size_t kCommandLineLimit = 32767 - 1;     // CreateProcess's command line
constexpr std::size_t kServiceNameLimit = 256;           // a service's key or display name
constexpr std::size_t kAccountNameLimit = 255 + 1 + 256;  // a domain's DNS name, "\", an account name
constexpr std::size_t kSidTextLimit = 184;               // S-1-, an authority of 15 digits, 15 parts

// Whether a NUL-ended text is longer than the limit; if so, the thread's last error is the one
// the platform gives for it.
inline bool longer_than(const char* text, std::size_t limit, DWORD error)
{
    if (strnlen(text, limit + 1) <= limit)
        return false;
    SetLastError(error);
    return true;
}

// A path longer than MAX_PATH allows, with the platform's error for it.
inline bool path_too_long(const char* path) { return longer_than(path, kPathLimit, ERROR_FILENAME_EXCED_RANGE); }

}  // namespace kx::win32
