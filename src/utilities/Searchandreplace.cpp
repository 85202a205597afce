#include "core/text.h"
#include "platform/files/files.h"
#include "platform/files/sequential.h"
#include "platform/platform.h"
#include "utilities/operations.h"

namespace kx::utilities {

// Nothing is trapped. Files it leaves open after a failure are closed when the call ends, so
// a later call can open them again. The input is deleted before the copy: a failing copy
// leaves the new content in the "_new" file alone.
Variant Searchandreplace(Platform& platform, const String& filename, const String& SearchStr, const String& ReplaceStr)
{
    const String fresh = filename + L"_new";
    files::SequentialFiles& files = platform.sequential;
    files.open_input(1, filename);
    files.open_output(2, fresh);
    do  // the first line is read before the first test: an empty input fails at once
        files.print_line(2, replace_ignoring_case(files.line_input(1), SearchStr, ReplaceStr, true));
    while (!files.eof(1));
    files.close(1);
    files.close(2);

    const auto fso = platform.files.create();
    fso->delete_file(filename);
    fso->copy_file(fresh, filename);
    fso->delete_file(fresh);
    return Variant(int16_t(0));
}

}  // namespace kx::utilities
