#pragma once

#include <map>
#include <memory>

#include "platform/files/sequential.h"

namespace kx::files {

// Over Win32 files; files left open are closed when the object goes.
class Win32SequentialFiles final : public SequentialFiles
{
public:
    Win32SequentialFiles();
    ~Win32SequentialFiles() override;

    void open_input(int number, const String& path) override;
    void open_output(int number, const String& path) override;
    String line_input(int number) override;
    void print_line(int number, const String& text) override;
    bool eof(int number) override;
    void close(int number) override;

private:
    class OpenFile;
    OpenFile& file(int number);
    std::map<int, std::unique_ptr<OpenFile>> files_;
};

}  // namespace kx::files
