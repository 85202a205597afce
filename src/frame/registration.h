#pragma once

#include <windows.h>

namespace kx::frame {

// Writes the type library, its interfaces, and every class with its ProgID; on failure
// removes what it wrote and answers the failure.
HRESULT register_server();

// Removes exactly what register_server writes.
HRESULT unregister_server();

}  // namespace kx::frame
