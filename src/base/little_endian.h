// Little-endian integers in bytes: the configuration block, the included-file
// records, the version cache's file times and PE images all store them so.
// The reads at an offset leave the range check to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wl {

inline uint32_t le16(const unsigned char* b) { return uint32_t(b[0]) | uint32_t(b[1]) << 8; }
inline uint32_t le32(const unsigned char* b) { return le16(b) | le16(b + 2) << 16; }
inline uint64_t le64(const unsigned char* b) { return le32(b) | uint64_t(le32(b + 4)) << 32; }

inline const unsigned char* bytesAt(std::string_view bytes, std::size_t offset) {
    return reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
}
inline uint32_t le16At(std::string_view bytes, std::size_t offset) { return le16(bytesAt(bytes, offset)); }
inline uint32_t le32At(std::string_view bytes, std::size_t offset) { return le32(bytesAt(bytes, offset)); }
inline uint64_t le64At(std::string_view bytes, std::size_t offset) { return le64(bytesAt(bytes, offset)); }

// The low 16, 32 or 64 bits of the value, appended or written over the bytes
// at the offset.
inline void appendLe16(std::string& out, uint32_t v) {
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
}
inline void appendLe32(std::string& out, uint32_t v) {
    appendLe16(out, v & 0xFFFF);
    appendLe16(out, v >> 16);
}
inline void appendLe64(std::string& out, uint64_t v) {
    appendLe32(out, uint32_t(v));
    appendLe32(out, uint32_t(v >> 32));
}
inline void storeLe16(std::string& bytes, std::size_t offset, uint32_t v) {
    bytes[offset] = char(v & 0xFF);
    bytes[offset + 1] = char((v >> 8) & 0xFF);
}
inline void storeLe32(std::string& bytes, std::size_t offset, uint32_t v) {
    storeLe16(bytes, offset, v & 0xFFFF);
    storeLe16(bytes, offset + 2, v >> 16);
}

}  // namespace wl
