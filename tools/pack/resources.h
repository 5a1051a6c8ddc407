// The executable's resources as the packer changes them: the application icon
// (the first icon group and its images) and the version information. The
// resource section is rebuilt in place, at its own address; only the base
// relocation section behind it may move, so every other section keeps its
// place and the configuration block still starts behind the last section.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "version_info.h"

namespace pack {

struct ResourceChanges {
    bool replaceIcon = false;
    std::string icon;  // the bytes of an .ico file
    bool replaceVersion = false;
    std::vector<std::pair<std::string, std::string>> versionStrings;  // key, UTF-8 value; keys of kVersionKeys
};

// Checks an .ico file: header, directory and images inside the file.
bool checkIconFile(std::string_view ico, std::string& error);

// Returns the PE image (no data behind its last section) with the resources
// changed as asked, or false and an error text.
bool rebuildResources(std::string_view image, const ResourceChanges& changes, std::string& out, std::string& error);

// The resources as they stand, for --dump: the first icon group as an .ico
// file (empty when there is none) and the strings of the version information.
bool readResources(std::string_view image, std::string& icon,
                   std::vector<std::pair<std::string, std::string>>& versionStrings, std::string& error);

// True when the image carries an Authenticode signature (a certificate table).
bool isSigned(std::string_view image);

}  // namespace pack
