// The digest library aamd532.dll, loaded by file name through the normal library search.
#pragma once

#include <string>

namespace kx::digest {

class DigestLibrary
{
public:
    virtual ~DigestLibrary() = default;
    // MDFile(path, buffer): the buffer holds 32 characters and a NUL, which the library may
    // overwrite with the file's digest. Throws a Failure when the library or its entry
    // cannot be had.
    virtual void md_file(const std::string& path, char (&buffer)[33]) = 0;
};

}  // namespace kx::digest
