// The packer's configuration: what the TOML files describe, read table by
// table and laid over each other.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/block.h"
#include "resources.h"

namespace pack {

struct IncludedFile {
    std::string name;        // relative name, backslash-separated, in the code page
    std::string sourcePath;  // where the content comes from
};

struct PackConfig {
    wl::ParsedBlock block;
    std::vector<IncludedFile> files;
    std::string iconPath;  // [resources] icon, resolved; empty when not given
    ResourceChanges resources;  // the icon's bytes are filled in by the caller
    // Where includedFileCount or includedFileNames was set by hand ("line:column: "),
    // empty when it was not; set by readConfigLayer.
    std::string fileCountGivenAt;
    int codePage = 1252;  // of the narrow settings and the file names
};

// Reads the TOML text. Relative sources are taken against baseDir.
bool compileConfig(std::string_view toml, const std::string& baseDir, int codePage, PackConfig& config,
                   std::string& error);

// One configuration file of several: compileConfig without the included-file
// count and names, which come from all files together (finishConfig). File
// names are refused as the launcher would refuse them, and so is a second
// name for the same file, Windows comparing names without letter case and
// "/" as "\".
bool readConfigLayer(std::string_view toml, const std::string& baseDir, int codePage, PackConfig& config,
                     std::string& error);

// Lays a later configuration file over an earlier one: its settings, messages,
// version strings and icon replace those of the same id, key or kind, a file
// of the same name (as Windows compares names) replaces the earlier one in its
// place, and its [[language]] sections follow the earlier ones.
void overlayConfig(PackConfig& config, PackConfig&& later);

// Fills includedFileCount and includedFileNames from the files; refused when
// a file set them by hand as well (countGivenIn names that file for the
// message, "" for none).
bool finishConfig(PackConfig& config, const std::string& countGivenIn, std::string& error);

}  // namespace pack
