// Owners of the platform's handles: a file or process handle, a module, a registry key, memory
// from LocalAlloc. Each closes what it holds exactly once. Windows only.
#pragma once

#include <windows.h>

#include <utility>

namespace kx::win32 {

// Traits: the handle type, the value that means "none", and how one is closed.
template <class Traits>
class Owner
{
public:
    using Type = typename Traits::Type;

    Owner() = default;
    explicit Owner(Type value) : value_(value) {}
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& other) noexcept : value_(std::exchange(other.value_, Traits::none())) {}
    Owner& operator=(Owner&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.value_, Traits::none()));
        return *this;
    }
    ~Owner() { reset(); }

    Type get() const { return value_; }
    bool valid() const { return value_ != Traits::none(); }
    explicit operator bool() const { return valid(); }
    Type release() { return std::exchange(value_, Traits::none()); }
    void reset(Type value = Traits::none())
    {
        if (value_ != Traits::none())
            Traits::close(value_);
        value_ = value;
    }
    // For a function that fills the handle in.
    Type* out()
    {
        reset();
        return &value_;
    }

private:
    Type value_ = Traits::none();
};

struct FileTraits  // CreateFile answers INVALID_HANDLE_VALUE on failure
{
    using Type = HANDLE;
    static Type none() { return INVALID_HANDLE_VALUE; }
    static void close(Type h) { CloseHandle(h); }
};
struct HandleTraits  // most other functions answer null
{
    using Type = HANDLE;
    static Type none() { return nullptr; }
    static void close(Type h) { CloseHandle(h); }
};
struct KeyTraits
{
    using Type = HKEY;
    static Type none() { return nullptr; }
    static void close(Type key) { RegCloseKey(key); }
};
struct LibraryTraits
{
    using Type = HMODULE;
    static Type none() { return nullptr; }
    static void close(Type module) { FreeLibrary(module); }
};

using FileHandle = Owner<FileTraits>;
using Handle = Owner<HandleTraits>;
using RegistryKey = Owner<KeyTraits>;
using Library = Owner<LibraryTraits>;

}  // namespace kx::win32
