#include "accounts.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdio>

#include "platform/win32/cng.h"

namespace kxsim::winnt {
namespace {

String hex(const UCHAR* bytes, std::size_t count)
{
    String out;
    for (std::size_t i = 0; i < count; ++i) {
        wchar_t pair[3];
        std::swprintf(pair, 3, L"%02x", bytes[i]);
        out += pair;
    }
    return out;
}

String sha256(const String& salt, const String& password)
{
    const String text = salt + L"$" + password;
    kx::win32::Hash hash(BCRYPT_SHA256_ALGORITHM);
    hash.add(text.data(), text.size() * sizeof(wchar_t));
    const std::vector<uint8_t> digest = hash.finish();
    if (digest.empty())
        throw SimError{E_FAIL, L"Cannot compute a password digest."};
    return hex(digest.data(), digest.size());
}

}  // namespace

StoreFile store_file(const String& path)
{
    return StoreFile(path, "local account database", static_cast<HRESULT>(0x80005000));
}

StoreFile store_file() { return store_file(StoreFile::path_from(L"KX_SIM_WINNT_STORE", L"C:\\kxsim\\winnt.store")); }

std::shared_ptr<const TreeStore> Rules::store() const { return std::make_shared<StoreFile>(store_file()); }

String Rules::computer_name() const { return winnt::computer_name(); }

String Rules::password_digest(const String& password) const { return winnt::password_digest(password); }

String password_digest(const String& password)
{
    UCHAR salt[16];
    if (BCryptGenRandom(nullptr, salt, sizeof salt, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        throw SimError{E_FAIL, L"Cannot make a password salt."};
    const String salt_text = hex(salt, sizeof salt);
    return L"sha256$" + salt_text + L"$" + sha256(salt_text, password);
}

bool password_matches(const String& digest, const String& password)
{
    const String::size_type first = digest.find(L'$'), second = digest.find(L'$', first + 1);
    if (first == String::npos || second == String::npos)
        return false;
    return digest.substr(second + 1) == sha256(digest.substr(first + 1, second - first - 1), password);
}

String computer_name() { return system_computer_name(); }

}  // namespace kxsim::winnt
