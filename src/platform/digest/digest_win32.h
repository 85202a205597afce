#pragma once

#include "platform/digest/digest.h"

namespace kx::digest {

// Loads the library for the call and frees it afterwards.
class Aamd532 final : public DigestLibrary
{
public:
    void md_file(const std::string& path, char (&buffer)[33]) override;
};

}  // namespace kx::digest
