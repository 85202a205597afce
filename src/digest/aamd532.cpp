// aamd532.dll: the digest library that ships beside Kestrix.dll. MDFile writes the MD5 digest
// of a file's bytes (RFC 1321), computed by Windows' own cryptography, as 32 lower-case
// hexadecimal digits into the caller's buffer; a file that cannot be read leaves the buffer as
// it was. Exported undecorated and stdcall, as a 32-bit caller declares it.
#include <windows.h>

#include <vector>

#include "platform/win32/cng.h"
#include "platform/win32/handle.h"

namespace {

constexpr DWORD kBlock = 1 << 20;

}  // namespace

extern "C" LONG WINAPI MDFile(const char* path, char* digest)
{
    if (!path || !digest)
        return 0;
    kx::win32::FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return 0;
    kx::win32::Hash hash(BCRYPT_MD5_ALGORITHM);
    std::vector<char> block(kBlock);
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(file.get(), block.data(), kBlock, &got, nullptr))
            return 0;
        if (got == 0)
            break;
        if (!hash.add(block.data(), got))
            return 0;
    }
    const std::vector<uint8_t> sum = hash.finish();
    if (sum.size() != 16)
        return 0;
    static const char hex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < sum.size(); ++i) {
        digest[2 * i] = hex[sum[i] >> 4];
        digest[2 * i + 1] = hex[sum[i] & 0xF];
    }
    return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
