// Version texts as lists of numbers, shared by the runtime search (its range
// and comparisons) and the option lines that depend on the runtime's version.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace wl {

// A version as its numeric parts: 1.8.0_202 is 1, 8, 0, 202.
using VersionList = std::vector<int32_t>;

// Cuts the text at every run of ".", "_", "-" and "+"; each piece counts by its
// leading decimal digits (0 without any, saturated at the int32 maximum).
// 9-ea gives 9, 0; an empty text gives no parts.
VersionList splitVersion(std::string_view text);

}  // namespace wl
