// Writing a packed executable: a copy of the launcher with the configuration
// block behind its last section and the included files' records behind that.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config.h"

namespace pack {

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

}  // namespace pack
