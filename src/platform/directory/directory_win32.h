#pragma once

#include "platform/directory/directory.h"

namespace kx::directory {

// The directory service of Windows (ADSI): whichever provider serves a path's namespace.
class AdsiDirectory final : public Directory
{
public:
    std::unique_ptr<Object> bind(const String& path) override;
    std::unique_ptr<Object> bind_with_credentials(const String& path, const String& user, const String& password,
                                                  int32_t flags) override;
};

}  // namespace kx::directory
