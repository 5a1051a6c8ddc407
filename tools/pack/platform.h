// What the packer needs from the system it runs on: its arguments, writing
// the output safely, and text on the console. platform_posix.cpp and
// platform_win.cpp implement it; the rest of the packer is the same on both.
#pragma once

#include <cstdint>
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

// A file written through a temporary file next to it that commit() flushes to
// the disk and renames into place: an existing file is replaced whole or not
// at all, and nothing is left behind on failure (the temporary file goes when
// the object does, unless committed). The file is made executable.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool opened() const { return handle_ != kNone; }
    bool write(std::string_view bytes);
    bool commit();

private:
    static constexpr std::intptr_t kNone = -1;
    std::string path_;
    std::filesystem::path temp_;
    std::intptr_t handle_ = kNone;  // a file descriptor or a Windows handle
    bool failed_ = false;
};

// Writes UTF-8 text to standard output or standard error; bytes as they are,
// except that a Windows console gets the characters.
void writeText(std::FILE* stream, std::string_view utf8);

}  // namespace pack
