#include "core/failure.h"
#include "platform/codepage/codepage.h"
#include "platform/platform.h"
#include "platform/programs/programs.h"
#include "utilities/operations.h"

namespace kx::utilities {

int32_t launchapplication(Platform& platform, const String& sApplication)
{
    Stages<int32_t> stages;
    stages.arm(1);
    return stages.run([&] {
        platform.programs.start_hidden(platform.ansi.to_ansi(sApplication));
        return 0;  // whatever task identifier came back
    });
}

}  // namespace kx::utilities
