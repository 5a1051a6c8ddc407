// The headers of a PE image, as far as the packer needs them: where the
// configuration block goes and where the resources lie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pack {

inline uint64_t alignUp(uint64_t v, uint64_t alignment) { return (v + alignment - 1) / alignment * alignment; }
inline void padTo(std::string& b, std::size_t alignment) {
    while (b.size() % alignment) b.push_back('\0');
}

// The PE checksum: 16-bit words added with end-around carry, the checksum
// field itself left out, plus the file length.
uint32_t peChecksum(std::string_view image, std::size_t checksumField);

struct PeSection {
    std::size_t header;  // file offset of the section header
    uint32_t virtualSize, address, rawSize, rawOffset, characteristics;
};

struct PeImage {
    std::size_t optional = 0;     // file offset of the optional header
    uint32_t optionalSize = 0;
    std::size_t directories = 0;  // file offset of the data directories
    uint32_t directoryCount = 0;
    uint32_t fileAlignment = 0, sectionAlignment = 0;
    std::vector<PeSection> sections;

    // The MZ and PE signatures and a section table of at least one section
    // inside the bytes: enough to find the end of the last section.
    bool readHeaders(std::string_view image, std::string& error);
    // The headers, then the optional header's alignments and data directories.
    bool read(std::string_view image, std::string& error);

    uint32_t directoryAddress(std::string_view image, std::size_t index) const;
    uint32_t directorySize(std::string_view image, std::size_t index) const;
    // The section whose address range holds the address; nullptr when none.
    const PeSection* sectionAt(uint32_t address) const;
};

}  // namespace pack
