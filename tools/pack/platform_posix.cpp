#include "platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pack {

std::vector<std::string> commandLineArguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

ReplacingFile::ReplacingFile(const std::string& path) : path_(path) {
    std::filesystem::path output(path);
    std::string dir = output.parent_path().string();
    std::string temp = (dir.empty() ? std::string(".") : dir) + "/." + output.filename().string() + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return;
    handle_ = fd;
    temp_ = temp;
}

ReplacingFile::~ReplacingFile() {
    if (handle_ == kNone) return;
    ::close(int(handle_));
    ::unlink(temp_.c_str());
}

bool ReplacingFile::write(std::string_view bytes) {
    while (!failed_ && !bytes.empty()) {
        ssize_t n = ::write(int(handle_), bytes.data(), bytes.size());
        if (n <= 0) failed_ = true;
        else bytes.remove_prefix(std::size_t(n));
    }
    return !failed_;
}

bool ReplacingFile::commit() {
    int fd = int(handle_);
    bool ok = !failed_ && ::fchmod(fd, 0755) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    handle_ = kNone;
    if (!ok || std::rename(temp_.c_str(), path_.c_str()) != 0) {
        ::unlink(temp_.c_str());
        return false;
    }
    return true;
}

void writeText(std::FILE* stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

}  // namespace pack
