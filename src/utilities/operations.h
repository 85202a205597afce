// The files, ports and utilities operations: text replaced in files, TCP ports probed, a
// program started, help opened and a library tried.
#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::utilities {

// Writes filename + ".tmp" with the first occurrence in each line replaced: 0, or the trap
// that caught a failure: 1 input, 2 output or first line, 3 part-way.
int32_t replacestringinfile(Platform& platform, const String& filename, const String& SearchString,
                           const String& ReplaceString);
// Replaces every occurrence in each line, through filename + "_new", which then takes the
// file's place; 0 in a variant. Failures are raised.
Variant Searchandreplace(Platform& platform, const String& filename, const String& SearchStr, const String& ReplaceStr);

// 0 when a TCP connection to the port came up within the bounded wait, else 1.
int32_t portscan(Platform& platform, const String& Host, const String& Port);
// Rewrites svPort to ":" + svPort + ":"; 0 when a web site's first plain or secure binding is
// that, else 1.
int32_t checkportinuse(Platform& platform, String& svPort);

// 0 started (hidden, not waited for), 1 not.
int32_t launchapplication(Platform& platform, const String& sApplication);
// 0 the help call was made, 1 the help component cannot be called.
int32_t help(Platform& platform, const String& sHelpFile);
// 0 the library loaded (and was freed again), 1 not. sDllName comes back through the ANSI
// code page.
int32_t checkdllavailable(Platform& platform, String& sDllName);

}  // namespace kx::utilities
