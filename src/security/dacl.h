// The steps that editing a file's list and editing a folder's list share.
#pragma once

#include <cstdint>
#include <string>

#include "core/buffer.h"
#include "core/value.h"
#include "platform/security/security.h"
#include "records.h"

namespace kx::file_security {

// The account's SID: a 256-byte buffer whose size is given to the lookup as 255.
struct AccountSid
{
    Buffer sid{256};
};

// Looks the account up twice: first to learn the length of its domain's name, then with a
// domain buffer of 255 blanks (larger when the domain's name needs more). False when the
// second lookup failed.
bool look_up_account(security::Security& security, const std::string& account, AccountSid& found);

// Reads the file's descriptor twice: first to learn its length, then into a buffer of that
// length. False when the second read failed.
bool read_descriptor(security::Security& security, const std::string& path, Buffer& descriptor);

// The room the platform's absolute descriptor needs on either bitness, zero-filled.
inline constexpr std::size_t kDescriptorSize = 64;

// The access mask of a rights string: each letter of letters that occurs in it, in any case,
// adds its right once. Letters: R read, W write, X execute, D delete, A all.
uint32_t rights_mask(const String& rights, const char* letters);
// Whether the new entries deny instead of allow: the letter U, in any case.
bool denies(const String& rights);

// The first 12 bytes of an entry, laid out as an access-allowed entry; never read past the
// entry's own size.
records::ACCESS_ALLOWED_ACE entry_head(const void* ace);
void set_entry_head(void* ace, const records::ACCESS_ALLOWED_ACE& head);
inline uint32_t entry_size(const records::ACCESS_ALLOWED_ACE& head)
{
    return static_cast<uint16_t>(head.Header.AceSize);
}

}  // namespace kx::file_security
