// The version information resource (VS_VERSIONINFO) as the packer writes and
// reads it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pack {

// The version strings the packer writes, in the order it writes them.
inline constexpr std::string_view kVersionKeys[] = {
    "FileVersion", "ProductVersion", "ProductName",    "CompanyName",
    "FileDescription", "LegalCopyright", "OriginalFilename",
};

// Reads "1", "1.2", "1.2.3" or "1.2.3.4" at the start of a version text, each
// number at most 65535; whatever follows a complete number that is not a digit
// or a dot is kept only in the text ("1.2.3-beta"). Returns the 64-bit form of
// the fixed version fields, or an error text.
bool parseVersionNumber(std::string_view text, uint64_t& value, std::string& error);

// The VS_VERSIONINFO block: fixed file information from FileVersion and
// ProductVersion, one string table for US English in UTF-16, and the matching
// translation. The strings must have been checked with parseVersionNumber.
std::string buildVersionInfo(const std::vector<std::pair<std::string, std::string>>& strings);

// The strings of the first string table of a VS_VERSIONINFO block, appended
// to versionStrings as UTF-8 key and value; a damaged block gives what could
// be read before the damage.
void readVersionStrings(std::string_view block, std::vector<std::pair<std::string, std::string>>& versionStrings);

}  // namespace pack
