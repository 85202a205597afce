// The version-resource functions of version.dll, one method per function; text in the
// system's ANSI code page.
#pragma once

#include <cstdint>

namespace kx::versions {

// The base class answers every call as a platform without these functions does: it fails
// (error 120, ERROR_CALL_NOT_IMPLEMENTED) and gives nothing.
inline constexpr uint32_t kNotImplemented = 120;

class Versions
{
public:
    virtual ~Versions() = default;
    // The size of the file's version data; 0 when it has none.
    virtual uint32_t get_file_version_info_size(const char* path, uint32_t& handle) { return 0; }
    virtual bool get_file_version_info(const char* path, uint32_t handle, uint32_t size, void* data) { return false; }
    // The address and length of a value inside the version data.
    virtual bool ver_query_value(const void* data, const char* sub_block, const void*& value, uint32_t& length) { return false; }
};

}  // namespace kx::versions
