#include "store_file.h"

#include <cwctype>
#include <map>
#include <mutex>
#include <string>

#include "platform/win32/handle.h"

namespace kxsim {
namespace {

using kx::win32::FileHandle;

String last_error_text(DWORD error)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    String message = text ? text : L"";
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
        message.pop_back();
    return message;
}

[[noreturn]] void fail_with_last_error(const String& what)
{
    const DWORD error = GetLastError();
    throw StoreError{HRESULT_FROM_WIN32(error), what + L": " + last_error_text(error)};
}

String widen(const std::string& text) { return String(text.begin(), text.end()); }

String lower(String text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// What tells one version of the file from another: a save replaces the file by another one
// (another creation time), and a write in place changes its time or its size. Read from the
// path alone, which costs far less than opening the file.
struct Identity
{
    FILETIME created{}, written{};
    DWORD size_high = 0, size_low = 0;

    bool operator==(const Identity& o) const
    {
        return CompareFileTime(&created, &o.created) == 0 && CompareFileTime(&written, &o.written) == 0 &&
               size_high == o.size_high && size_low == o.size_low;
    }
};

bool identify(const String& path, Identity& identity)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    identity = Identity{data.ftCreationTime, data.ftLastWriteTime, data.nFileSizeHigh, data.nFileSizeLow};
    return true;
}

// The trees this process parsed last, by store path.
struct Parsed
{
    Identity identity;
    std::shared_ptr<const Tree> tree;
};
std::mutex parsed_mutex;
std::map<String, Parsed> parsed;

std::shared_ptr<const Tree> remembered(const String& key, const Identity& identity)
{
    std::lock_guard<std::mutex> guard(parsed_mutex);
    const auto found = parsed.find(key);
    return found != parsed.end() && found->second.identity == identity ? found->second.tree : nullptr;
}

void remember(const String& key, const Identity& identity, std::shared_ptr<const Tree> tree)
{
    std::lock_guard<std::mutex> guard(parsed_mutex);
    parsed[key] = Parsed{identity, std::move(tree)};
}

void forget(const String& key)
{
    std::lock_guard<std::mutex> guard(parsed_mutex);
    parsed.erase(key);
}

}  // namespace

// Serialises the store's users across processes: a named mutex per store path. A holder
// killed while it held the lock leaves it abandoned, which the next waiter simply takes.
class StoreFile::Lock
{
public:
    explicit Lock(const String& path)
    {
        String name = L"Local\\kxsim-store-";
        for (wchar_t c : lower(path))
            name += (c == L'\\' || c == L':' || c == L'/') ? L'_' : c;
        mutex_.reset(CreateMutexW(nullptr, FALSE, name.c_str()));
        if (!mutex_)
            fail_with_last_error(L"cannot create the store's lock");
        const DWORD waited = WaitForSingleObject(mutex_.get(), INFINITE);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
            fail_with_last_error(L"cannot take the store's lock");
    }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    ~Lock() { ReleaseMutex(mutex_.get()); }

private:
    kx::win32::Handle mutex_;
};

String StoreFile::path_from(const wchar_t* variable, const wchar_t* fallback)
{
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(variable, buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        return String(buffer, length);
    return fallback;
}

StoreFile::StoreFile(String path, std::string title, HRESULT missing_status)
    : path_(std::move(path)), title_(std::move(title)), missing_status_(missing_status)
{
}

// Needs no lock: a save replaces the file whole, so a reader sees one version or the next. A
// tree is remembered under the identity read before the file was opened, so it is never older
// than that identity says; at worst a change is read twice.
std::shared_ptr<const Tree> StoreFile::load() const
{
    const String key = lower(path_);
    Identity identity;
    const bool identified = identify(path_, identity);
    if (identified)
        if (auto tree = remembered(key, identity))
            return tree;

    FileHandle file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        forget(key);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            throw StoreError{missing_status_, L"No " + widen(title_) + L" at " + path_};
        throw StoreError{HRESULT_FROM_WIN32(error), L"Cannot read the store " + path_ + L": " + last_error_text(error)};
    }
    std::string text;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    std::shared_ptr<const Tree> tree;
    try {
        tree = std::make_shared<const Tree>(parse(text));
    } catch (const DamagedStore& damage) {
        forget(key);
        throw StoreError{HRESULT_FROM_WIN32(ERROR_INVALID_DATA),
                         L"The store " + path_ + L" is damaged, " + widen(damage.what())};
    }
    if (identified)
        remember(key, identity, tree);
    return tree;
}

void StoreFile::save_unlocked(const Tree& tree) const
{
    const std::string text = serialize(tree, title_);
    const String temporary = path_ + L".tmp" + std::to_wstring(GetCurrentProcessId());
    {
        FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
        if (!file)
            fail_with_last_error(L"Cannot write " + temporary);
        DWORD written = 0;
        if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size() || !FlushFileBuffers(file.get())) {
            const DWORD error = GetLastError();
            file.reset();
            DeleteFileW(temporary.c_str());
            SetLastError(error);
            fail_with_last_error(L"Cannot write " + temporary);
        }
    }
    if (!MoveFileExW(temporary.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        SetLastError(error);
        fail_with_last_error(L"Cannot replace " + path_);
    }
    // The next load in this process reads the file it has just written.
    forget(lower(path_));
}

void StoreFile::update(const std::function<void(Tree&)>& change) const
{
    Lock lock(path_);
    Tree tree = *load();
    change(tree);
    save_unlocked(tree);
}

void StoreFile::replace(const Tree& tree) const
{
    Lock lock(path_);
    const String::size_type slash = path_.find_last_of(L"\\/");
    if (slash != String::npos)
        CreateDirectoryW(path_.substr(0, slash).c_str(), nullptr);
    save_unlocked(tree);
}

}  // namespace kxsim
