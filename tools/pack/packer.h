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

// Bytes of included-file contents are stored XOR this mask.
constexpr unsigned char kIncludedFileMask = 0xA7;

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
};

// Reads the TOML text. Relative sources are taken against baseDir.
bool compileConfig(std::string_view toml, const std::string& baseDir, int codePage, PackConfig& config,
                   std::string& error);

// One configuration file of several: compileConfig without the included-file
// count and names, which come from all files together (finishConfig).
bool readConfigLayer(std::string_view toml, const std::string& baseDir, int codePage, PackConfig& config,
                     std::string& error);

// Lays a later configuration file over an earlier one: its settings, messages,
// version strings and icon replace those of the same id, key or kind, a file
// of the same name (letter case aside) replaces the earlier one in its place,
// and its [[language]] sections follow the earlier ones.
void overlayConfig(PackConfig& config, PackConfig&& later);

// Fills includedFileCount and includedFileNames from the files; refused when
// a file set them by hand as well (countGivenIn names that file for the
// message, "" for none).
bool finishConfig(PackConfig& config, const std::string& countGivenIn, std::string& error);

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
    std::vector<std::string> configPaths;  // laid over each other in this order
    std::string outputPath;
    int codePage = 1252;
    std::string inputsListPath;  // where to list every file read; empty: nowhere
};

// Reads a whole file; the path is UTF-8.
bool readWholeFile(const std::string& path, std::string& out);

// Writes the output through a temporary file renamed into place; nothing is
// left behind on failure. With inputsListPath, the packed executable's inputs
// (template, configuration files, included files, icon) are then listed there,
// one UTF-8 path a line, so that a build tool can tell when to pack again.
bool packFiles(const PackOptions& options, std::string& error);

// The TOML text of an executable's block and resources. With filesDir
// non-empty, included files and the icon are written there and listed.
bool dumpPackage(std::string_view image, int codePage, const std::string& filesDir, std::string& toml,
                 std::string& error);

}  // namespace pack
