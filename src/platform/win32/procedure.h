// An exported function of a loaded library, typed. The signature is spelled out where it is
// used, calling convention included (WINAPI for the platform's functions), so that the cast
// from FARPROC is the only place where the type is taken on trust. Windows only.
#pragma once

#include <windows.h>

#include <type_traits>

namespace kx::win32 {

template <class Function>
Function procedure(HMODULE module, const char* name)
{
    static_assert(std::is_pointer_v<Function> && std::is_function_v<std::remove_pointer_t<Function>>);
    // Through the generic function pointer, which every function pointer converts to and back.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace kx::win32
