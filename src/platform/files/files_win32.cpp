#include "platform/files/files_win32.h"

#include "platform/com/com.h"

namespace kx::files {
namespace {

using com::ComPtr;

// A stream is read and written a line at a time: its members' identifiers are looked up once.
class ScriptingTextStream final : public TextStream
{
public:
    explicit ScriptingTextStream(ComPtr<IDispatch> stream) : stream_(std::move(stream)) {}

    String read_line() override
    {
        Variant line = com::invoke_member(stream_.Get(), id(read_line_, L"ReadLine"), DISPATCH_METHOD);
        return line.holds<String>() ? line.as<String>() : String();
    }

    bool at_end_of_stream() override
    {
        Variant end = com::invoke_member(stream_.Get(), id(at_end_, L"AtEndOfStream"), DISPATCH_PROPERTYGET);
        return end.holds<bool>() && end.as<bool>();
    }

    void write_line(const String& text) override
    {
        com::invoke_member(stream_.Get(), id(write_line_, L"WriteLine"), DISPATCH_METHOD, {text});
    }
    void close() override { com::call_method(stream_.Get(), L"Close"); }

private:
    DISPID id(DISPID& known, const wchar_t* name)
    {
        if (known == DISPID_UNKNOWN)
            known = com::dispid_of(stream_.Get(), name);
        return known;
    }

    ComPtr<IDispatch> stream_;
    DISPID read_line_ = DISPID_UNKNOWN, at_end_ = DISPID_UNKNOWN, write_line_ = DISPID_UNKNOWN;
};

class ScriptingFile final : public File
{
public:
    explicit ScriptingFile(ComPtr<IDispatch> file) : file_(std::move(file)) {}

    std::unique_ptr<TextStream> open_as_text_stream(int mode, int format) override
    {
        return std::make_unique<ScriptingTextStream>(
            com::get_object(file_.Get(), L"OpenAsTextStream", {int32_t(mode), int32_t(format)}, DISPATCH_METHOD));
    }

private:
    ComPtr<IDispatch> file_;
};

class ScriptingFolder final : public Folder
{
public:
    explicit ScriptingFolder(ComPtr<IDispatch> folder) : folder_(std::move(folder)) {}

    std::vector<String> subfolder_names() override
    {
        ComPtr<IDispatch> subfolders = com::get_object(folder_.Get(), L"SubFolders", {}, DISPATCH_PROPERTYGET);
        ComPtr<IEnumVARIANT> walk = com::enumerate(subfolders.Get());
        std::vector<String> names;
        while (ComPtr<IDispatch> subfolder = com::next_object(walk.Get())) {
            Variant name = com::get_property(subfolder.Get(), L"Name");
            names.push_back(name.holds<String>() ? name.as<String>() : String());
        }
        return names;
    }

private:
    ComPtr<IDispatch> folder_;
};

class ScriptingFileSystemObject final : public FileSystemObject
{
public:
    explicit ScriptingFileSystemObject(ComPtr<IDispatch> fso) : fso_(std::move(fso)) {}

    std::unique_ptr<File> get_file(const String& path) override
    {
        return std::make_unique<ScriptingFile>(com::get_object(fso_.Get(), L"GetFile", {path}, DISPATCH_METHOD));
    }

    std::unique_ptr<TextStream> create_text_file(const String& path, bool overwrite) override
    {
        return std::make_unique<ScriptingTextStream>(
            com::get_object(fso_.Get(), L"CreateTextFile", {path, overwrite}, DISPATCH_METHOD));
    }

    void delete_file(const String& path) override { com::call_method(fso_.Get(), L"DeleteFile", {path}); }

    void copy_file(const String& source, const String& destination) override
    {
        com::call_method(fso_.Get(), L"CopyFile", {source, destination});
    }

    std::unique_ptr<Folder> get_folder(const String& path) override
    {
        return std::make_unique<ScriptingFolder>(com::get_object(fso_.Get(), L"GetFolder", {path}, DISPATCH_METHOD));
    }

private:
    ComPtr<IDispatch> fso_;
};

}  // namespace

std::unique_ptr<FileSystemObject> ScriptingFileSystem::create()
{
    return std::make_unique<ScriptingFileSystemObject>(com::create_object(L"Scripting.FileSystemObject"));
}

}  // namespace kx::files
