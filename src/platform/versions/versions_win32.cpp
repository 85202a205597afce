#include "platform/versions/versions_win32.h"

#include <windows.h>

#include "platform/win32/limits.h"

namespace kx::versions {

uint32_t Win32Versions::get_file_version_info_size(const char* path, uint32_t& handle)
{
    DWORD h = 0;
    const DWORD size = win32::path_too_long(path) ? 0 : GetFileVersionInfoSizeA(path, &h);
    handle = h;
    return size;
}

bool Win32Versions::get_file_version_info(const char* path, uint32_t handle, uint32_t size, void* data)
{
    return !win32::path_too_long(path) && GetFileVersionInfoA(path, handle, size, data) != 0;
}

bool Win32Versions::ver_query_value(const void* data, const char* sub_block, const void*& value, uint32_t& length)
{
    void* found = nullptr;
    UINT size = 0;
    const bool ok = VerQueryValueA(data, sub_block, &found, &size) != 0;
    value = found;
    length = size;
    return ok;
}

}  // namespace kx::versions
