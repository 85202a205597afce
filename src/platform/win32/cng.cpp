#include "platform/win32/cng.h"

#include <algorithm>
#include <limits>

namespace kx::win32 {

Hash::Hash(const wchar_t* algorithm)
{
    if (BCryptOpenAlgorithmProvider(&algorithm_, algorithm, nullptr, 0) != 0) {
        algorithm_ = nullptr;
        return;
    }
    if (BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0) != 0)
        hash_ = nullptr;
}

Hash::~Hash()
{
    if (hash_)
        BCryptDestroyHash(hash_);
    if (algorithm_)
        BCryptCloseAlgorithmProvider(algorithm_, 0);
}

bool Hash::add(const void* data, std::size_t size)
{
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (valid() && !failed_ && size > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, std::numeric_limits<ULONG>::max()));
        failed_ = BCryptHashData(hash_, bytes, piece, 0) != 0;
        bytes += piece;
        size -= piece;
    }
    return valid() && !failed_;
}

std::vector<uint8_t> Hash::finish()
{
    DWORD length = 0;
    ULONG got = 0;
    if (!valid() || failed_ ||
        BCryptGetProperty(hash_, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length), sizeof length, &got, 0) != 0)
        return {};
    std::vector<uint8_t> digest(length);
    if (BCryptFinishHash(hash_, digest.data(), length, 0) != 0)
        return {};
    failed_ = true;  // a hash is finished once
    return digest;
}

}  // namespace kx::win32
