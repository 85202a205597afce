// A message digest through Windows' own cryptography (CNG): fed in pieces, finished once.
// Windows only.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kx::win32 {

class Hash
{
public:
    // The algorithm by its CNG name: BCRYPT_MD5_ALGORITHM, BCRYPT_SHA256_ALGORITHM.
    explicit Hash(const wchar_t* algorithm);
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;
    ~Hash();

    // False when CNG could not provide the algorithm.
    bool valid() const { return hash_ != nullptr; }
    bool add(const void* data, std::size_t size);
    // The digest; empty when any step failed.
    std::vector<uint8_t> finish();

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    bool failed_ = false;
};

}  // namespace kx::win32
