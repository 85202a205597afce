#pragma once

#include "platform/versions/versions.h"

namespace kx::versions {

class Win32Versions final : public Versions
{
public:
    uint32_t get_file_version_info_size(const char* path, uint32_t& handle) override;
    bool get_file_version_info(const char* path, uint32_t handle, uint32_t size, void* data) override;
    bool ver_query_value(const void* data, const char* sub_block, const void*& value, uint32_t& length) override;
};

}  // namespace kx::versions
