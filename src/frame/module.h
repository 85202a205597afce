// The library's per-process bookkeeping: its module handle, and the count of live objects
// and server locks that DllCanUnloadNow answers from.
#pragma once

#include <windows.h>

#include <string>

namespace kx::frame {

void set_module_handle(HMODULE module);
HMODULE module_handle();
std::wstring module_path();

void object_created();
void object_destroyed();
void lock_server(bool lock);
bool can_unload();

}  // namespace kx::frame
