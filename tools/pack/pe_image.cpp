// The PE headers the packer reads, and the checksum it writes.
#include "pe_image.h"

#include <algorithm>

#include "base/little_endian.h"

namespace pack {
using wl::le16At;
using wl::le32At;

bool PeImage::readHeaders(std::string_view image, std::string& error) {
    if (image.size() < 64 || image.substr(0, 2) != "MZ") {
        error = "the template is not a PE executable (no MZ header)";
        return false;
    }
    uint32_t pe = le32At(image, 60);
    if (uint64_t(pe) + 24 > image.size() || image.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
        error = "the template is not a PE executable (no PE signature)";
        return false;
    }
    uint32_t count = le16At(image, pe + 6);
    optionalSize = le16At(image, pe + 20);
    optional = pe + 24;
    if (count == 0 || optional + uint64_t(optionalSize) + 40ull * count > image.size()) {
        error = "the template's section table is damaged";
        return false;
    }
    sections.clear();
    for (uint32_t i = 0; i < count; ++i) {
        std::size_t h = optional + optionalSize + 40 * i;
        sections.push_back({h, le32At(image, h + 8), le32At(image, h + 12), le32At(image, h + 16),
                            le32At(image, h + 20), le32At(image, h + 36)});
    }
    return true;
}

bool PeImage::read(std::string_view image, std::string& error) {
    if (!readHeaders(image, error)) return false;
    auto fail = [&] {
        error = "the template is not a PE executable";
        return false;
    };
    if (optionalSize < 2) return fail();
    uint32_t magic = le16At(image, optional);
    std::size_t countField = magic == 0x20b ? 108 : magic == 0x10b ? 92 : 0;
    if (countField == 0 || countField + 4 > optionalSize) return fail();
    directoryCount = le32At(image, optional + countField);
    directories = optional + countField + 4;
    if (directoryCount > 16 || countField + 4 + 8ull * directoryCount > optionalSize) return fail();
    fileAlignment = le32At(image, optional + 36);
    sectionAlignment = le32At(image, optional + 32);
    if (fileAlignment == 0 || sectionAlignment == 0) return fail();
    return true;
}

uint32_t peChecksum(std::string_view image, std::size_t checksumField) {
    uint64_t sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        if (i == checksumField || i == checksumField + 2) continue;
        uint32_t word = uint8_t(image[i]) | (i + 1 < image.size() ? uint32_t(uint8_t(image[i + 1])) << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return uint32_t(sum + image.size());
}

uint32_t PeImage::directoryAddress(std::string_view image, std::size_t index) const {
    return index < directoryCount ? le32At(image, directories + 8 * index) : 0;
}

uint32_t PeImage::directorySize(std::string_view image, std::size_t index) const {
    return index < directoryCount ? le32At(image, directories + 8 * index + 4) : 0;
}

const PeSection* PeImage::sectionAt(uint32_t address) const {
    for (const PeSection& s : sections) {
        uint32_t extent = std::max(s.virtualSize, s.rawSize);
        if (address >= s.address && address - s.address < extent) return &s;
    }
    return nullptr;
}

}  // namespace pack
