// The platform that operations work through: one port per platform family. Kestrix.dll
// hands operations the Win32 implementations; tests hand them their own.
#pragma once

namespace kx {

namespace directory {
class Directory;
}
namespace files {
class FileSystem;
}
class Random;

struct Platform
{
    directory::Directory& directory;
    files::FileSystem& files;
    Random& random;
};


}  // namespace kx
