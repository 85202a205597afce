#include "store_file.h"

#include <string>

namespace kxsim {
namespace {

constexpr HRESULT kNoStore = static_cast<HRESULT>(0x80005000);  // the provider's bad path status

class Handle
{
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle()
    {
        if (h_ && h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    HANDLE get() const { return h_; }
    bool valid() const { return h_ && h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_;
};

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

}  // namespace

// Serialises the store's users across processes: a named mutex per store path. A holder
// killed while it held the lock leaves it abandoned, which the next waiter simply takes.
class StoreFile::Lock
{
public:
    explicit Lock(const String& path)
    {
        String name = L"Local\\kxsim-store-";
        for (wchar_t c : path)
            name += (c == L'\\' || c == L':' || c == L'/') ? L'_' : static_cast<wchar_t>(towlower(c));
        mutex_ = CreateMutexW(nullptr, FALSE, name.c_str());
        if (!mutex_)
            fail_with_last_error(L"cannot create the store's lock");
        const DWORD waited = WaitForSingleObject(mutex_, INFINITE);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
            CloseHandle(mutex_);
            fail_with_last_error(L"cannot take the store's lock");
        }
    }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    ~Lock()
    {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }

private:
    HANDLE mutex_ = nullptr;
};

String StoreFile::default_path()
{
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"KX_SIM_IIS_STORE", buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        return String(buffer, length);
    return L"C:\\kxsim\\iis.store";
}

StoreFile::StoreFile(String path) : path_(std::move(path)) {}

Tree StoreFile::load_unlocked() const
{
    Handle file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            throw StoreError{kNoStore, L"No web server configuration store at " + path_};
        throw StoreError{HRESULT_FROM_WIN32(error), L"Cannot read the store " + path_ + L": " + last_error_text(error)};
    }
    std::string text;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    try {
        return parse(text);
    } catch (const DamagedStore& damage) {
        const std::string what = damage.what();
        throw StoreError{HRESULT_FROM_WIN32(ERROR_INVALID_DATA),
                         L"The store " + path_ + L" is damaged, " + String(what.begin(), what.end())};
    }
}

void StoreFile::save_unlocked(const Tree& tree) const
{
    const std::string text = serialize(tree);
    const String temporary = path_ + L".tmp" + std::to_wstring(GetCurrentProcessId());
    {
        Handle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
        if (!file.valid())
            fail_with_last_error(L"Cannot write " + temporary);
        DWORD written = 0;
        if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size() || !FlushFileBuffers(file.get())) {
            const DWORD error = GetLastError();
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
}

Tree StoreFile::load() const
{
    Lock lock(path_);
    return load_unlocked();
}

void StoreFile::update(const std::function<void(Tree&)>& change) const
{
    Lock lock(path_);
    Tree tree = load_unlocked();
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
