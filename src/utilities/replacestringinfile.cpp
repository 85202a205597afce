#include "core/failure.h"
#include "core/text.h"
#include "platform/files/files.h"
#include "platform/platform.h"
#include "utilities/operations.h"

namespace kx::utilities {

// A ".tmp" file left by a trap keeps what was written so far.
int32_t replacestringinfile(Platform& platform, const String& filename, const String& SearchString,
                           const String& ReplaceString)
{
    std::unique_ptr<files::TextStream> input, output;
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(1);
        input = platform.files.create()->get_file(filename)->open_as_text_stream(1, 0);

        stages.arm(2, [&] { input->close(); });
        output = platform.files.create()->create_text_file(filename + L".tmp", true);
        String line = input->read_line();  // an input without any line fails here

        stages.arm(3, [&] {
            input->close();
            output->close();
        });
        for (;;) {
            output->write_line(replace_ignoring_case(line, SearchString, ReplaceString, false));
            if (input->at_end_of_stream())
                break;
            line = input->read_line();
        }
        input->close();
        output->close();
        return 0;
    });
}

}  // namespace kx::utilities
