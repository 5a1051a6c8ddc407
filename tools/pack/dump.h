// Printing a packed executable's configuration back as TOML.
#pragma once

#include <string>
#include <string_view>

namespace pack {

// The TOML text of an executable's block and resources. With filesDir
// non-empty, included files and the icon are written there and listed.
bool dumpPackage(std::string_view image, int codePage, const std::string& filesDir, std::string& toml,
                 std::string& error);

}  // namespace pack
