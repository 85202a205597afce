// Byte buffers handed to the platform: zero-filled, aligned for any of the platform's records,
// with one spare byte after their size; and bounded copies of NUL-terminated text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kx {

class Buffer
{
public:
    explicit Buffer(std::size_t size = 0) : words_(size / sizeof(uint64_t) + 1, 0), size_(size) {}

    void* data() { return words_.data(); }
    const void* data() const { return words_.data(); }
    uint8_t* bytes() { return reinterpret_cast<uint8_t*>(words_.data()); }
    const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(words_.data()); }
    std::size_t size() const { return size_; }
    // Whether an address lies inside the buffer's size.
    bool holds(const void* address) const
    {
        const auto* p = static_cast<const uint8_t*>(address);
        return p >= bytes() && p < bytes() + size_;
    }
    const uint8_t* end() const { return bytes() + size_; }

private:
    std::vector<uint64_t> words_;
    std::size_t size_;
};

// Copies the text at source, up to its NUL and never from end on, into target: at most
// capacity - 1 characters and a NUL. Answers how many characters were copied.
inline std::size_t copy_text(char* target, std::size_t capacity, const char* source, const void* end)
{
    if (capacity == 0)
        return 0;
    std::size_t n = 0;
    const char* stop = static_cast<const char*>(end);
    while (source && source + n < stop && source[n] && n + 1 < capacity) {
        target[n] = source[n];
        ++n;
    }
    target[n] = '\0';
    return n;
}

}  // namespace kx
