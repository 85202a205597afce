// Files and folders through the scripting run time's file-system object. Every call either
// succeeds or throws a Failure with the run time's status.
#pragma once

#include <memory>
#include <vector>

#include "core/value.h"

namespace kx::files {

class TextStream
{
public:
    virtual ~TextStream() = default;
    // The next line without its line end; fails when no line is left.
    virtual String read_line() = 0;
    virtual bool at_end_of_stream() = 0;
    // The text followed by a carriage return and a line feed.
    virtual void write_line(const String& text) = 0;
    virtual void close() = 0;
};

class File
{
public:
    virtual ~File() = default;
    // A stream over the file; mode 1 reads, format 0 is the system's 8-bit code page.
    virtual std::unique_ptr<TextStream> open_as_text_stream(int mode, int format) = 0;
};

class Folder
{
public:
    virtual ~Folder() = default;
    // The names of the immediate subfolders, in the order that the collection gives.
    virtual std::vector<String> subfolder_names() = 0;
};

// One file-system object; everything obtained from it is released with it.
class FileSystemObject
{
public:
    virtual ~FileSystemObject() = default;
    virtual std::unique_ptr<File> get_file(const String& path) = 0;
    virtual std::unique_ptr<TextStream> create_text_file(const String& path, bool overwrite) = 0;
    virtual void delete_file(const String& path) = 0;
    virtual void copy_file(const String& source, const String& destination) = 0;
    virtual std::unique_ptr<Folder> get_folder(const String& path) = 0;
};

class FileSystem
{
public:
    virtual ~FileSystem() = default;
    // A new file-system object ("Scripting.FileSystemObject").
    virtual std::unique_ptr<FileSystemObject> create() = 0;
};

}  // namespace kx::files
