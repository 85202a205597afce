// The Windows implementation of every port, made afresh for each call so that nothing is
// shared between calls, instances or apartments (Windows only).
#pragma once

#include "platform/directory/directory_win32.h"
#include "platform/files/files_win32.h"
#include "platform/platform.h"
#include "platform/random/random.h"

namespace kx {

class SystemPlatform
{
public:
    SystemPlatform();
    SystemPlatform(const SystemPlatform&) = delete;
    SystemPlatform& operator=(const SystemPlatform&) = delete;

    Platform& platform() { return platform_; }

private:
    directory::AdsiDirectory directory_;
    files::ScriptingFileSystem files_;
    SeededRandom random_;
    Platform platform_;
};

}  // namespace kx
