// Reads what the checks need from a Windows library file: its machine, exports, imports
// and resources.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kx::pe {

class File
{
public:
    explicit File(const std::string& path);  // throws std::runtime_error when unreadable

    uint16_t machine() const { return machine_; }
    std::vector<std::string> exports() const;
    std::vector<std::string> imports() const;  // the names of the imported libraries
    // The data of a resource; the type given by number or by name, the first language.
    std::optional<std::vector<uint8_t>> resource(const std::u16string& type, uint16_t id) const;
    std::optional<std::vector<uint8_t>> resource(uint16_t type, uint16_t id) const;

private:
    std::optional<uint32_t> offset_of(uint32_t rva) const;
    uint32_t u32(uint32_t offset) const;
    uint16_t u16(uint32_t offset) const;
    std::string text(uint32_t offset) const;
    std::optional<std::vector<uint8_t>> resource_at(uint32_t type_entry_directory, uint16_t id) const;

    struct Section
    {
        uint32_t rva, size, raw, raw_size;
    };
    std::vector<uint8_t> bytes_;
    uint16_t machine_ = 0;
    std::vector<Section> sections_;
    uint32_t directories_[3][2] = {};  // export, import, resource: rva and size
};

// The strings of a version resource's StringFileInfo, key to value.
std::map<std::u16string, std::u16string> version_strings(const std::vector<uint8_t>& resource);

}  // namespace kx::pe
