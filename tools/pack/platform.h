// What the packer needs from the system it runs on: its arguments, writing
// the output safely, and text on the console. platform_posix.cpp and
// platform_win.cpp implement it; the rest of the packer is the same on both.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pack {

// File names travel through the packer as UTF-8 and become system paths here.
inline std::filesystem::path toPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string fromPath(const std::filesystem::path& path) {
    std::u8string s = path.generic_u8string();
    return std::string(s.begin(), s.end());
}

// The command-line arguments after the program name, as UTF-8.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Writes the file through a temporary file next to it that is renamed into
// place: an existing file is replaced whole or not at all, and nothing is
// left behind on failure. The file is made executable.
bool writeFileReplacing(const std::string& path, std::string_view bytes, std::string& error);

// Writes UTF-8 text to standard output or standard error; bytes as they are,
// except that a Windows console gets the characters.
void writeText(std::FILE* stream, std::string_view utf8);

}  // namespace pack
