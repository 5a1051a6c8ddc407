// The packer: turns a TOML description of one application into the
// configuration block behind a copy of the launcher, and prints such a block
// back as TOML.
#pragma once

#include <cstdint>
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
};

// Reads the TOML text. Relative sources are taken against baseDir.
bool compileConfig(std::string_view toml, const std::string& baseDir, int codePage, PackConfig& config,
                   std::string& error);

// Checks an included-file name; returns an error text, empty when the name is
// fine. Names are relative, at most one directory deep, without "..", drive,
// device prefix or characters Windows does not allow in names.
std::string checkIncludedName(const std::string& name);

// Checks that the bytes are a PE image and finds where its last section's raw
// data ends: the place of the configuration block.
bool findBlockStart(std::string_view image, uint64_t& start, std::string& error);

// Template bytes up to the block start (with its resources rebuilt when the
// configuration changes them), the block, and the trailer when there are no
// included files (their records follow the block instead). An existing block
// in the template is replaced; a signed template and other data behind the
// last section are refused.
bool assemblePackage(std::string_view templateImage, const PackConfig& config, std::string& package,
                     std::string& error);

struct PackOptions {
    std::string templatePath;
    std::string configPath;
    std::string outputPath;
    int codePage = 1252;
};

// Reads a whole file; the path is UTF-8.
bool readWholeFile(const std::string& path, std::string& out);

// Writes the output through a temporary file renamed into place; nothing is
// left behind on failure.
bool packFiles(const PackOptions& options, std::string& error);

// The TOML text of an executable's block and resources. With filesDir
// non-empty, included files and the icon are written there and listed.
bool dumpPackage(std::string_view image, int codePage, const std::string& filesDir, std::string& toml,
                 std::string& error);

}  // namespace pack
