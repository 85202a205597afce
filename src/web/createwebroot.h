#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::web {

// Creates site sName with its description, size, bindings and logging settings, its root
// directory at RootPath and its certificate mapper. Every failure is raised; nothing is undone.
int32_t createwebroot(Platform& platform, const String& sName, const String& ServerComment, int32_t ServerSize,
                      const String& ServerBindings, const String& SecureBindings, const String& RootPath);

}  // namespace kx::web
