// SPDX-License-Identifier: MIT
// PE and ELF export tables, read with every offset and count checked against the file: the input is
// whatever file a user points the tool at, and a fuzz target feeds it arbitrary bytes.
#include "tools/check/module_image.h"

#include <cstring>

namespace kova_check {

namespace {

// Bounds on what one file may make the reader do.
constexpr std::size_t max_names = 1u << 16;
constexpr std::size_t max_name_length = 4096;

class Bytes {
public:
    Bytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    bool has(std::uint64_t offset, std::uint64_t length) const
    {
        return offset <= size_ && length <= size_ - offset;
    }
    std::uint16_t u16(std::uint64_t at) const { return static_cast<std::uint16_t>(data_[at] | data_[at + 1] << 8); }
    std::uint32_t u32(std::uint64_t at) const
    {
        return static_cast<std::uint32_t>(u16(at)) | static_cast<std::uint32_t>(u16(at + 2)) << 16;
    }
    std::uint64_t u64(std::uint64_t at) const { return u32(at) | static_cast<std::uint64_t>(u32(at + 4)) << 32; }
    // A NUL-terminated name at offset; false when it runs past the file or max_name_length.
    bool name(std::uint64_t at, std::string& text) const
    {
        if (at >= size_) return false;
        const std::size_t room = size_ - static_cast<std::size_t>(at);
        const std::size_t limit = room < max_name_length ? room : max_name_length;
        const void* end = std::memchr(data_ + at, 0, limit);
        if (end == nullptr) return false;
        text.assign(reinterpret_cast<const char*>(data_ + at), static_cast<const unsigned char*>(end) - (data_ + at));
        return true;
    }
    std::size_t size() const { return size_; }

private:
    const unsigned char* data_;
    std::size_t size_;
};

struct Section {
    std::uint32_t address, virtual_size, raw_offset, raw_size;
};

// A relative virtual address's offset in the file, through the section that holds it.
bool file_offset(const std::vector<Section>& sections, std::uint32_t rva, std::uint64_t& offset)
{
    for (const Section& section : sections) {
        const std::uint32_t span = section.virtual_size > section.raw_size ? section.virtual_size : section.raw_size;
        if (rva >= section.address && rva - section.address < span) {
            const std::uint32_t into = rva - section.address;
            if (into >= section.raw_size) return false; // in the zero-filled tail
            offset = std::uint64_t{section.raw_offset} + into;
            return true;
        }
    }
    return false;
}

std::string read_pe(const Bytes& file, ModuleImage& module)
{
    module.format = ModuleImage::Format::pe;
    if (!file.has(0x3C, 4)) return "truncated PE: no DOS header";
    const std::uint64_t pe = file.u32(0x3C);
    if (!file.has(pe, 24) || file.u32(pe) != 0x00004550u) return "truncated PE: no PE header";
    module.machine = file.u16(pe + 4);
    const std::uint16_t section_count = file.u16(pe + 6);
    const std::uint16_t optional_size = file.u16(pe + 20);
    const std::uint64_t optional = pe + 24;
    if (!file.has(optional, 2)) return "truncated PE: no optional header";
    const std::uint16_t magic = file.u16(optional);
    if (magic != 0x10B && magic != 0x20B) return "PE with an unknown optional header";
    module.wide = magic == 0x20B;
    const std::uint64_t counts_at = optional + (module.wide ? 108 : 92);
    if (!file.has(optional, optional_size) || !file.has(counts_at, 4)) return "truncated PE: optional header";
    const std::uint32_t directory_count = file.u32(counts_at);
    const std::uint64_t directories = counts_at + 4;

    std::vector<Section> sections;
    const std::uint64_t table = optional + optional_size;
    if (!file.has(table, std::uint64_t{section_count} * 40)) return "truncated PE: section table";
    for (std::uint16_t i = 0; i < section_count; ++i) {
        const std::uint64_t at = table + std::uint64_t{i} * 40;
        sections.push_back({file.u32(at + 12), file.u32(at + 8), file.u32(at + 20), file.u32(at + 16)});
    }
    for (const Section& section : sections)
        if (section.raw_size != 0 && !file.has(section.raw_offset, section.raw_size)) return "truncated PE: a section";

    auto directory = [&](std::uint32_t index, std::uint32_t& rva, std::uint32_t& size) {
        const std::uint64_t at = directories + std::uint64_t{index} * 8;
        if (index >= directory_count || at + 8 > table || !file.has(at, 8)) return false;
        rva = file.u32(at);
        size = file.u32(at + 4);
        return rva != 0;
    };

    std::uint32_t rva = 0, size = 0;
    std::uint64_t offset = 0;
    if (directory(0, rva, size)) {
        if (!file_offset(sections, rva, offset) || !file.has(offset, 40)) return "truncated PE: export directory";
        const std::uint32_t name_count = file.u32(offset + 24);
        std::uint64_t names = 0;
        if (name_count > max_names) return "PE export table with too many names";
        if (name_count > 0 && (!file_offset(sections, file.u32(offset + 32), names) ||
                               !file.has(names, std::uint64_t{name_count} * 4)))
            return "truncated PE: export names";
        for (std::uint32_t i = 0; i < name_count; ++i) {
            std::uint64_t at = 0;
            std::string name;
            if (!file_offset(sections, file.u32(names + std::uint64_t{i} * 4), at) || !file.name(at, name))
                return "truncated PE: an export name";
            module.exports.push_back(std::move(name));
        }
    }
    if (directory(1, rva, size)) {
        if (!file_offset(sections, rva, offset)) return "truncated PE: import directory";
        for (std::size_t i = 0;; ++i, offset += 20) {
            if (i == max_names || !file.has(offset, 20)) return "truncated PE: import directory";
            if (file.u32(offset) == 0 && file.u32(offset + 12) == 0 && file.u32(offset + 16) == 0) break;
            std::uint64_t at = 0;
            std::string name;
            if (!file_offset(sections, file.u32(offset + 12), at) || !file.name(at, name))
                return "truncated PE: an imported module's name";
            module.needed.push_back(std::move(name));
        }
    }
    return {};
}

std::string read_elf(const Bytes& file, ModuleImage& module)
{
    module.format = ModuleImage::Format::elf;
    if (!file.has(0, 20)) return "truncated ELF header";
    const unsigned cls = file.u16(4) & 0xFF, data = file.u16(4) >> 8;
    if (data != 1) return "big-endian ELF";
    module.machine = file.u16(18);
    module.wide = cls == 2;
    if (cls != 2) return cls == 1 ? std::string() : "ELF of an unknown class"; // 32-bit: the machine says enough
    if (!file.has(0, 64)) return "truncated ELF header";
    const std::uint64_t sections = file.u64(40);
    const std::uint16_t entry_size = file.u16(58), count = file.u16(60);
    if (count == 0) return "ELF without section headers";
    if (entry_size < 64 || !file.has(sections, std::uint64_t{entry_size} * count)) return "truncated ELF: section headers";
    auto header = [&](std::uint32_t index) { return sections + std::uint64_t{entry_size} * index; };
    // A section's bytes (offset and size), when they lie in the file.
    auto extent = [&](std::uint32_t index, std::uint64_t& offset, std::uint64_t& size) {
        if (index >= count) return false;
        offset = file.u64(header(index) + 24);
        size = file.u64(header(index) + 32);
        return file.has(offset, size);
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t type = file.u32(header(i) + 4);
        if (type != 11 && type != 6) continue; // SHT_DYNSYM, SHT_DYNAMIC
        std::uint64_t offset = 0, size = 0, strings = 0, strings_size = 0;
        if (!extent(i, offset, size) || !extent(file.u32(header(i) + 40), strings, strings_size))
            return "truncated ELF: a dynamic section";
        auto text = [&](std::uint64_t at, std::string& name) { return at < strings_size && file.name(strings + at, name); };
        const std::uint64_t step = type == 11 ? 24 : 16;
        if (size / step > max_names) return "ELF with too many dynamic entries";
        for (std::uint64_t at = offset; at + step <= offset + size; at += step) {
            std::string name;
            if (type == 11) {
                const unsigned binding = (file.u16(at + 4) & 0xFF) >> 4;
                if (file.u16(at + 6) == 0 || (binding != 1 && binding != 2)) continue; // undefined or local
                if (!text(file.u32(at), name)) return "truncated ELF: a symbol's name";
                if (!name.empty()) module.exports.push_back(std::move(name));
            } else if (file.u64(at) == 1) { // DT_NEEDED
                if (!text(file.u64(at + 8), name)) return "truncated ELF: a needed library's name";
                module.needed.push_back(std::move(name));
            }
        }
    }
    return {};
}

} // namespace

std::string read_module(const unsigned char* data, std::size_t size, ModuleImage& module)
{
    module = ModuleImage();
    const Bytes file(data, size);
    if (size >= 4 && std::memcmp(data, "\x7F" "ELF", 4) == 0) return read_elf(file, module);
    if (size >= 2 && data[0] == 'M' && data[1] == 'Z') return read_pe(file, module);
    return "not a PE or ELF file";
}

std::string machine_name(const ModuleImage& module)
{
    if (module.format == ModuleImage::Format::pe) {
        switch (module.machine) {
        case 0x8664: return module.wide ? "x64" : "x64 (32-bit header)";
        case 0x014C: return "x86 (32-bit)";
        case 0xAA64: return "ARM64";
        case 0x01C4: return "ARM (32-bit)";
        }
    } else {
        switch (module.machine) {
        case 62: return module.wide ? "x86-64" : "x86-64 (32-bit class)";
        case 3: return "x86 (32-bit)";
        case 183: return "AArch64";
        case 40: return "ARM (32-bit)";
        }
    }
    return "machine " + std::to_string(module.machine);
}

bool machine_supported(const ModuleImage& module)
{
    return module.wide && module.machine == (module.format == ModuleImage::Format::pe ? 0x8664 : 62);
}

} // namespace kova_check
