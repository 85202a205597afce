#include "platform/files/sequential_win32.h"

#include <windows.h>

#include <string>

#include "core/failure.h"
#include "platform/codepage/codepage_win32.h"
#include "platform/win32/handle.h"

namespace kx::files {
namespace {

Failure run_time_error(int number, const wchar_t* description)
{
    return Failure(static_cast<int32_t>(0x800A0000 | number), description);
}

// The run time's error for a file that cannot be opened.
Failure open_failure(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return run_time_error(53, L"File not found");
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: return run_time_error(76, L"Path not found");
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return run_time_error(70, L"Permission denied");
    default: return run_time_error(75, L"Path/File access error");
    }
}

constexpr std::size_t kChunk = 1 << 16;

}  // namespace

class Win32SequentialFiles::OpenFile
{
public:
    OpenFile(win32::FileHandle handle, bool output) : handle_(std::move(handle)), output_(output) {}
    ~OpenFile() { flush(); }

    String line_input()
    {
        if (eof())
            throw run_time_error(62, L"Input past end of file");
        std::string line;
        while (at_ < buffer_.size() || fill()) {
            const std::size_t end = buffer_.find_first_of("\r\n", at_);
            line.append(buffer_, at_, (end == std::string::npos ? buffer_.size() : end) - at_);
            if (end == std::string::npos) {
                at_ = buffer_.size();
                continue;
            }
            at_ = end + 1;
            if (buffer_[end] == '\r' && (at_ < buffer_.size() || fill()) && buffer_[at_] == '\n')
                ++at_;  // CR LF is one line end
            break;
        }
        return ansi_.from_ansi(line);
    }

    void print_line(const String& text)
    {
        if (!output_)
            throw run_time_error(54, L"Bad file mode");
        pending_ += ansi_.to_ansi(text);
        pending_ += "\r\n";
        if (pending_.size() >= kChunk)
            flush_or_fail();
    }

    bool eof()
    {
        if (output_)
            throw run_time_error(54, L"Bad file mode");
        return at_ == buffer_.size() && !fill();
    }

    void close() { flush_or_fail(); }

private:
    bool fill()
    {
        buffer_.resize(kChunk);
        DWORD got = 0;
        if (!ReadFile(handle_.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr))
            throw run_time_error(57, L"Device I/O error");
        buffer_.resize(got);
        at_ = 0;
        return got > 0;
    }

    bool flush()
    {
        DWORD written = 0;
        const bool ok = pending_.empty() || (WriteFile(handle_.get(), pending_.data(), static_cast<DWORD>(pending_.size()),
                                                       &written, nullptr) &&
                                             written == pending_.size());
        pending_.clear();
        return ok;
    }

    void flush_or_fail()
    {
        if (!flush())
            throw run_time_error(61, L"Disk full");
    }

    win32::FileHandle handle_;
    bool output_;
    std::string buffer_, pending_;
    std::size_t at_ = 0;
    AnsiCodePage ansi_;
};

Win32SequentialFiles::Win32SequentialFiles() = default;
Win32SequentialFiles::~Win32SequentialFiles() = default;

Win32SequentialFiles::OpenFile& Win32SequentialFiles::file(int number)
{
    const auto found = files_.find(number);
    if (found == files_.end())
        throw run_time_error(52, L"Bad file name or number");
    return *found->second;
}

void Win32SequentialFiles::open_input(int number, const String& path)
{
    if (files_.count(number))
        throw run_time_error(55, L"File already open");
    win32::FileHandle handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle)
        throw open_failure(GetLastError());
    files_[number] = std::make_unique<OpenFile>(std::move(handle), false);
}

void Win32SequentialFiles::open_output(int number, const String& path)
{
    if (files_.count(number))
        throw run_time_error(55, L"File already open");
    win32::FileHandle handle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle)
        throw open_failure(GetLastError());
    files_[number] = std::make_unique<OpenFile>(std::move(handle), true);
}

String Win32SequentialFiles::line_input(int number) { return file(number).line_input(); }
void Win32SequentialFiles::print_line(int number, const String& text) { file(number).print_line(text); }
bool Win32SequentialFiles::eof(int number) { return file(number).eof(); }

void Win32SequentialFiles::close(int number)
{
    auto& open = file(number);
    try {
        open.close();
    } catch (...) {
        files_.erase(number);
        throw;
    }
    files_.erase(number);
}

}  // namespace kx::files
