// Writing the package: the template's bytes up to the block start, the
// block, and the included files' records streamed behind it.
#include "package.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "base/little_endian.h"
#include "codepage.h"
#include "config/block.h"
#include "files/extract.h"
#include "pe_image.h"
#include "platform.h"

namespace pack {
namespace fs = std::filesystem;

bool findBlockStart(std::string_view image, uint64_t& start, std::string& error) {
    PeImage pe;
    if (!pe.readHeaders(image, error)) return false;
    // The same walk the launcher makes at start-up.
    wl::MemorySource source(image);
    wl::BlockReader reader(source);
    if (!wl::locateConfigBlock(reader, start) || start > image.size()) {
        error = "the template's last section lies beyond the end of the file";
        return false;
    }
    return true;
}

namespace {

// Writes the included files' records behind the block: each file's 64-bit
// size, then its content with every byte XOR the mask. Files are streamed
// through one block-sized buffer: an included file may be as large as the disk
// allows and is neither held in memory nor copied twice, and many small files
// are written together rather than in a write of their own each.
class RecordWriter {
public:
    explicit RecordWriter(ReplacingFile& out) : out_(out), buffer_(kBlock) {}

    // A read failure sets error; a write failure leaves it empty.
    bool writeFile(const std::string& sourcePath, std::string& error) {
        std::ifstream in(toPath(sourcePath), std::ios::binary);
        std::error_code ec;
        uintmax_t size = fs::file_size(toPath(sourcePath), ec);
        if (!in || ec) {
            error = "cannot read the included file " + sourcePath;
            return false;
        }
        std::string sizeBytes;
        wl::appendLe64(sizeBytes, uint64_t(size));
        if (!append(sizeBytes.data(), sizeBytes.size())) return false;
        uintmax_t copied = 0;
        for (;;) {
            if (used_ == buffer_.size() && !flush()) return false;
            in.read(buffer_.data() + used_, std::streamsize(buffer_.size() - used_));
            std::size_t got = std::size_t(in.gcount());
            if (got == 0) break;
            for (std::size_t i = used_; i < used_ + got; ++i)
                buffer_[i] = char(static_cast<unsigned char>(buffer_[i]) ^ wl::kIncludedFileMask);
            used_ += got;
            copied += got;
        }
        if (in.bad() || copied != size) {
            error = "the included file " + sourcePath + " changed or could not be read while it was packed";
            return false;
        }
        return true;
    }

    bool flush() {
        bool ok = used_ == 0 || out_.write(std::string_view(buffer_.data(), used_));
        used_ = 0;
        return ok;
    }

private:
    static constexpr std::size_t kBlock = 1 << 20;

    bool append(const char* bytes, std::size_t n) {
        if (buffer_.size() - used_ < n && !flush()) return false;
        std::copy(bytes, bytes + n, buffer_.data() + used_);
        used_ += n;
        return true;
    }

    ReplacingFile& out_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
};

}  // namespace

bool assemblePackage(std::string_view templateImage, const PackConfig& config, std::string& package,
                     std::string& error) {
    uint64_t start;
    if (!findBlockStart(templateImage, start, error)) return false;
    if (isSigned(templateImage)) {
        error = "the template is signed, and packing would break its signature: pack the unsigned launcher, "
                "then sign the packed executable";
        return false;
    }
    std::string_view tail = templateImage.substr(start);
    if (!tail.empty() && (tail.size() < 4 || tail.substr(0, 4) != std::string_view("\xD5\x13\xE4\xE8", 4))) {
        error = "the template has data behind its last section that is not a configuration block";
        return false;
    }
    std::string block = wl::serializeConfigBlock(config.block);
    if (config.resources.replaceIcon || config.resources.replaceVersion) {
        if (!rebuildResources(templateImage.substr(0, start), config.resources, package, error)) return false;
    } else {
        package.assign(templateImage.substr(0, start));
    }
    package += block;
    if (config.files.empty()) package += wl::blockTrailer(block.size());
    return true;
}

bool readWholeFile(const std::string& path, std::string& out) {
    std::ifstream in(toPath(path), std::ios::binary);
    if (!in) return false;
    out.clear();
    std::error_code ec;
    uintmax_t size = fs::file_size(toPath(path), ec);
    if (!ec) out.reserve(std::size_t(size));
    // In large blocks: the size is only a hint, the file may change meanwhile.
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), std::streamsize(buffer.size())) || in.gcount() > 0)
        out.append(buffer.data(), std::size_t(in.gcount()));
    return !in.bad();
}

namespace {

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    fs::path pa = toPath(a), pb = toPath(b);
    if (fs::exists(pa, ec) && fs::exists(pb, ec)) return fs::equivalent(pa, pb, ec);
    return fs::weakly_canonical(pa, ec) == fs::weakly_canonical(pb, ec);
}

}  // namespace

bool packFiles(const PackOptions& options, std::string& error) {
    if (!codePageSupported(options.codePage)) {
        error = "code page " + std::to_string(options.codePage) + " is not supported";
        return false;
    }
    if (sameFile(options.templatePath, options.outputPath)) {
        error = "the output must not be the template itself";
        return false;
    }
    std::string templateImage;
    if (!readWholeFile(options.templatePath, templateImage)) {
        error = "cannot read the template " + options.templatePath;
        return false;
    }
    PackConfig config;
    std::string countGivenIn;
    for (std::size_t i = 0; i < options.configPaths.size(); ++i) {
        const std::string& path = options.configPaths[i];
        std::string tomlText;
        if (!readWholeFile(path, tomlText)) {
            error = "cannot read the configuration " + path;
            return false;
        }
        // Each file's relative paths are taken against its own directory.
        PackConfig layer;
        std::string baseDir = fromPath(toPath(path).parent_path());
        if (!readConfigLayer(tomlText, baseDir.empty() ? "." : baseDir, options.codePage, layer, error)) {
            error = path + ":" + error;  // file:line:column: message
            return false;
        }
        if (countGivenIn.empty() && !layer.fileCountGivenAt.empty()) countGivenIn = path + ":";
        if (i == 0) config = std::move(layer);
        else overlayConfig(config, std::move(layer));
    }
    if (!finishConfig(config, countGivenIn, error)) return false;
    if (config.resources.replaceIcon) {
        std::string problem;
        if (!readWholeFile(config.iconPath, config.resources.icon)) {
            error = "cannot read the icon " + config.iconPath;
            return false;
        }
        if (!checkIconFile(config.resources.icon, problem)) {
            error = "the icon " + config.iconPath + " " + problem;
            return false;
        }
    }
    std::string package;
    if (!assemblePackage(templateImage, config, package, error)) return false;
    ReplacingFile out(options.outputPath);
    bool written = out.opened() && out.write(package);
    RecordWriter records(out);
    for (const IncludedFile& f : config.files) {
        if (!written) break;
        written = records.writeFile(f.sourcePath, error);
        if (!written && !error.empty()) return false;
    }
    written = written && records.flush();
    if (!written) {
        error = "cannot write " + options.outputPath;
        return false;
    }
    // Listed before the executable is put in place: a failure leaves neither.
    if (!options.inputsListPath.empty()) {
        std::string list = options.templatePath + "\n";
        for (const std::string& path : options.configPaths) list += path + "\n";
        for (const IncludedFile& f : config.files) list += f.sourcePath + "\n";
        if (config.resources.replaceIcon) list += config.iconPath + "\n";
        std::ofstream inputs(toPath(options.inputsListPath), std::ios::binary | std::ios::trunc);
        inputs.write(list.data(), std::streamsize(list.size()));
        inputs.close();
        if (!inputs) {
            error = "cannot write the list of inputs " + options.inputsListPath;
            return false;
        }
    }
    if (!out.commit()) {
        error = "cannot write " + options.outputPath;
        return false;
    }
    return true;
}

}  // namespace pack
