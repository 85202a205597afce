#include "core/failure.h"
#include "platform/codepage/codepage.h"
#include "platform/platform.h"
#include "platform/programs/programs.h"
#include "utilities/operations.h"

namespace kx::utilities {

// A help file that does not exist still answers 0: the help component says so itself.
int32_t help(Platform& platform, const String& sHelpFile)
{
    Stages<int32_t> stages;
    stages.arm(1);
    return stages.run([&] {
        platform.programs.html_help(platform.ansi.to_ansi(sHelpFile));
        return 0;
    });
}

}  // namespace kx::utilities
