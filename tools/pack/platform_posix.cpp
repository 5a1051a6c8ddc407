#include "platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pack {

std::vector<std::string> commandLineArguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

bool writeFileReplacing(const std::string& path, std::string_view bytes, std::string& error) {
    std::filesystem::path output(path);
    std::string dir = output.parent_path().string();
    std::string temp = (dir.empty() ? std::string(".") : dir) + "/." + output.filename().string() + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot create a file next to " + path;
        return false;
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0) break;
        written += std::size_t(n);
    }
    bool ok = written == bytes.size() && ::fchmod(fd, 0755) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

void writeText(std::FILE* stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

}  // namespace pack
