// A platform of fakes for the operations' tests.
#pragma once

#include "fake_directory.h"
#include "platform/files/files.h"
#include "platform/platform.h"
#include "platform/random/random.h"

namespace kx::test {

class NoFiles final : public files::FileSystem
{
public:
    std::unique_ptr<files::FileSystemObject> create() override
    {
        throw Failure(static_cast<int32_t>(0x800A01AD), L"ActiveX component can't create object");
    }
};

struct FakePlatform
{
    FakeDirectory directory;
    NoFiles files;
    SeededRandom random{[] { return uint64_t(42); }};
    Platform platform{directory, files, random};
};

}  // namespace kx::test
