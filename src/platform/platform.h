// The platform that operations work through: one port per platform family. Kestrix.dll
// hands operations the Win32 implementations; tests hand them their own.
#pragma once

namespace kx {

namespace directory {
class Directory;
}
namespace files {
class FileSystem;
class SequentialFiles;
}
namespace automation {
class Automation;
}
namespace programs {
class Programs;
}
namespace digest {
class DigestLibrary;
}
namespace ui {
class UserInterface;
}
namespace security {
class Security;
}
namespace services {
class ServiceManager;
}
namespace versions {
class Versions;
}
class Random;
class CodePage;

struct Platform
{
    directory::Directory& directory;
    files::FileSystem& files;
    Random& random;
    ui::UserInterface& ui;
    CodePage& ansi;
    security::Security& security;
    services::ServiceManager& services;
    versions::Versions& versions;
    files::SequentialFiles& sequential;
    automation::Automation& automation;
    programs::Programs& programs;
    digest::DigestLibrary& digests;
};

}  // namespace kx
