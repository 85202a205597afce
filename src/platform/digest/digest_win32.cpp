#include "platform/digest/digest_win32.h"

#include <windows.h>

#include "core/failure.h"
#include "platform/win32/handle.h"
#include "platform/win32/limits.h"
#include "platform/win32/procedure.h"

namespace kx::digest {

void Aamd532::md_file(const std::string& path, char (&buffer)[33])
{
    using MDFile = LONG(WINAPI*)(const char*, char*);
    const win32::Library library(LoadLibraryA("aamd532.dll"));
    if (!library)
        throw Failure(static_cast<int32_t>(0x800A0035), L"File not found: aamd532.dll");
    const auto md_file = win32::procedure<MDFile>(library.get(), "MDFile");
    if (!md_file)
        throw Failure(static_cast<int32_t>(0x800A01C5), L"Can't find DLL entry point MDFile in aamd532.dll");
    if (!win32::path_too_long(path.c_str()))  // a file that cannot be read leaves the buffer as it was
        md_file(path.c_str(), buffer);
    buffer[32] = '\0';
}

}  // namespace kx::digest
