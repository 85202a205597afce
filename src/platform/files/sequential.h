// Sequential text files by number, as a script opens, reads and writes them (Open For Input
// and For Output, Line Input, Print, EOF, Close), in the system's ANSI code page. Failures are
// the run time's: file not found, input past end of file, and the like.
#pragma once

#include "core/value.h"

namespace kx::files {

class SequentialFiles
{
public:
    virtual ~SequentialFiles() = default;
    virtual void open_input(int number, const String& path) = 0;
    // Creates the file anew, replacing one of that name.
    virtual void open_output(int number, const String& path) = 0;
    // The next line without its line end (CR, LF or CR LF); past the end fails.
    virtual String line_input(int number) = 0;
    // The text and a line end (CR LF).
    virtual void print_line(int number, const String& text) = 0;
    virtual bool eof(int number) = 0;
    virtual void close(int number) = 0;
};

}  // namespace kx::files
