#pragma once

#include "platform/files/files.h"

namespace kx::files {

// The scripting run time's "Scripting.FileSystemObject", late bound.
class ScriptingFileSystem final : public FileSystem
{
public:
    std::unique_ptr<FileSystemObject> create() override;
};

}  // namespace kx::files
