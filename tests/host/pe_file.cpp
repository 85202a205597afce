#include "pe_file.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kx::pe {

File::File(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
    if (bytes_.size() < 0x40 || bytes_[0] != 'M' || bytes_[1] != 'Z')
        throw std::runtime_error(path + " is no PE file");
    const uint32_t pe = u32(0x3C);
    if (u32(pe) != 0x00004550)
        throw std::runtime_error(path + " has no PE header");
    machine_ = u16(pe + 4);
    const uint16_t section_count = u16(pe + 6);
    const uint16_t optional_size = u16(pe + 20);
    const uint32_t optional = pe + 24;
    const uint32_t directories = optional + (u16(optional) == 0x20B ? 112 : 96);
    for (int d = 0; d < 3; ++d) {
        directories_[d][0] = u32(directories + 8 * d);
        directories_[d][1] = u32(directories + 8 * d + 4);
    }
    for (uint32_t s = 0, at = optional + optional_size; s < section_count; ++s, at += 40)
        sections_.push_back({u32(at + 12), u32(at + 8), u32(at + 20), u32(at + 16)});
}

uint32_t File::u32(uint32_t offset) const
{
    if (offset + 4 > bytes_.size())
        throw std::runtime_error("read past the end of the file");
    return bytes_[offset] | bytes_[offset + 1] << 8 | bytes_[offset + 2] << 16 | uint32_t(bytes_[offset + 3]) << 24;
}

uint16_t File::u16(uint32_t offset) const
{
    if (offset + 2 > bytes_.size())
        throw std::runtime_error("read past the end of the file");
    return static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
}

std::string File::text(uint32_t offset) const
{
    std::string s;
    while (offset < bytes_.size() && bytes_[offset])
        s += static_cast<char>(bytes_[offset++]);
    return s;
}

std::optional<uint32_t> File::offset_of(uint32_t rva) const
{
    for (const Section& s : sections_)
        if (rva >= s.rva && rva < s.rva + std::max(s.size, s.raw_size))
            return s.raw + (rva - s.rva);
    return std::nullopt;
}

std::vector<std::string> File::exports() const
{
    std::vector<std::string> names;
    const auto dir = offset_of(directories_[0][0]);
    if (!directories_[0][0] || !dir)
        return names;
    const uint32_t count = u32(*dir + 24);
    const auto table = offset_of(u32(*dir + 32));
    for (uint32_t i = 0; table && i < count; ++i)
        if (auto name = offset_of(u32(*table + 4 * i)))
            names.push_back(text(*name));
    return names;
}

std::vector<std::string> File::imports() const
{
    std::vector<std::string> names;
    auto at = offset_of(directories_[1][0]);
    for (; directories_[1][0] && at && u32(*at + 12) != 0; *at += 20)
        if (auto name = offset_of(u32(*at + 12)))
            names.push_back(text(*name));
    return names;
}

std::optional<std::vector<uint8_t>> File::resource_at(uint32_t id_directory, uint16_t id) const
{
    const auto root = offset_of(directories_[2][0]);
    const uint32_t named = u16(id_directory + 12), numbered = u16(id_directory + 14);
    for (uint32_t e = named; e < named + numbered; ++e) {
        const uint32_t entry = id_directory + 16 + 8 * e;
        if (u32(entry) != id || !(u32(entry + 4) & 0x80000000u))
            continue;
        const uint32_t languages = *root + (u32(entry + 4) & 0x7FFFFFFFu);
        if (u16(languages + 12) + u16(languages + 14) == 0)
            return std::nullopt;
        const uint32_t data_entry = *root + (u32(languages + 16 + 4) & 0x7FFFFFFFu);
        const auto data = offset_of(u32(data_entry));
        const uint32_t size = u32(data_entry + 4);
        if (!data || *data + size > bytes_.size())
            return std::nullopt;
        return std::vector<uint8_t>(bytes_.begin() + *data, bytes_.begin() + *data + size);
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> File::resource(uint16_t type, uint16_t id) const
{
    const auto root = offset_of(directories_[2][0]);
    if (!directories_[2][0] || !root)
        return std::nullopt;
    const uint32_t named = u16(*root + 12), numbered = u16(*root + 14);
    for (uint32_t e = named; e < named + numbered; ++e) {
        const uint32_t entry = *root + 16 + 8 * e;
        if (u32(entry) == type && (u32(entry + 4) & 0x80000000u))
            return resource_at(*root + (u32(entry + 4) & 0x7FFFFFFFu), id);
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> File::resource(const std::u16string& type, uint16_t id) const
{
    const auto root = offset_of(directories_[2][0]);
    if (!directories_[2][0] || !root)
        return std::nullopt;
    const uint32_t named = u16(*root + 12);
    for (uint32_t e = 0; e < named; ++e) {
        const uint32_t entry = *root + 16 + 8 * e;
        const uint32_t name = *root + (u32(entry) & 0x7FFFFFFFu);
        std::u16string s;
        for (uint16_t i = 0, n = u16(name); i < n; ++i)
            s += static_cast<char16_t>(u16(name + 2 + 2 * i));
        if (s == type && (u32(entry + 4) & 0x80000000u))
            return resource_at(*root + (u32(entry + 4) & 0x7FFFFFFFu), id);
    }
    return std::nullopt;
}

namespace {

struct Reader
{
    const std::vector<uint8_t>& bytes;
    uint16_t u16(std::size_t at) const
    {
        if (at + 2 > bytes.size())
            throw std::runtime_error("version resource cut short");
        return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
    }
    std::u16string text(std::size_t& at) const
    {
        std::u16string s;
        for (char16_t c; (c = u16(at)) != 0; at += 2)
            s += c;
        at += 2;
        return s;
    }
};

std::size_t align4(std::size_t at) { return (at + 3) & ~std::size_t(3); }

// Blocks of length, value length, type, key, value and children; strings are the blocks
// two levels below StringFileInfo.
void walk(const Reader& r, std::size_t at, std::size_t end, int depth, bool in_strings,
          std::map<std::u16string, std::u16string>& out)
{
    while (at + 6 <= end) {
        const std::size_t length = r.u16(at), value_length = r.u16(at + 2), is_text = r.u16(at + 4);
        if (length == 0)
            break;
        std::size_t cursor = at + 6;
        const std::u16string key = r.text(cursor);
        cursor = align4(cursor);
        if (depth == 3 && in_strings) {
            std::u16string value;
            for (std::size_t i = 0; i < value_length; ++i)
                value += static_cast<char16_t>(r.u16(cursor + 2 * i));
            while (!value.empty() && value.back() == u'\0')
                value.pop_back();
            out[key] = value;
        } else {
            const std::size_t children = align4(cursor + value_length * (is_text ? 2 : 1));
            walk(r, children, at + length, depth + 1, in_strings || key == u"StringFileInfo", out);
        }
        at = align4(at + length);
    }
}

}  // namespace

std::map<std::u16string, std::u16string> version_strings(const std::vector<uint8_t>& resource)
{
    std::map<std::u16string, std::u16string> out;
    Reader r{resource};
    const std::size_t length = r.u16(0), value_length = r.u16(2);
    std::size_t cursor = 6;
    r.text(cursor);  // VS_VERSION_INFO
    cursor = align4(cursor);
    walk(r, align4(cursor + value_length), length, 1, false, out);
    return out;
}

}  // namespace kx::pe
