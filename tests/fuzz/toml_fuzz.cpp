// The packer's mapping from TOML to the configuration block, with the property
// that a dump packs again to the same bytes: the input compiles, is packed
// behind the launcher, dumped back to TOML (included files written out), and
// that TOML compiles and packs to exactly the first executable.
#include <unistd.h>

#include <filesystem>

#include "base/little_endian.h"
#include "files/extract.h"
#include "fuzz_support.h"
#include "codepage.h"
#include "packer.h"
#include "platform.h"

namespace {

namespace fs = std::filesystem;

std::string templateImage;
fs::path workDir;

// The template is the 64-bit launcher next to this build; without it, a
// minimal PE image whose last section ends where the block goes.
std::string loadTemplate(const char* argv0) {
    std::string image;
    fs::path launcher = fs::path(argv0).parent_path() / ".." / "win64" / "winlaunch.exe";
    if (pack::readWholeFile(launcher.string(), image)) return image;
    image.assign(0x200, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    wl::storeLe32(image, 60, 0x40);
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    wl::storeLe16(image, 0x40 + 6, 1);
    wl::storeLe16(image, 0x40 + 20, 0xF0);
    wl::storeLe32(image, 0x40 + 24 + 0xF0 + 16, 0x100);
    wl::storeLe32(image, 0x40 + 24 + 0xF0 + 20, 0x100);
    return image;
}

// An icon of one 16x16 image with 32 bits a pixel.
std::string smallIcon() {
    std::string image;
    for (uint32_t v : {40u, 16u, 32u}) wl::appendLe32(image, v);
    wl::appendLe16(image, 1);
    wl::appendLe16(image, 32);
    for (int i = 0; i < 6; ++i) wl::appendLe32(image, 0);
    image.append(16 * 16 * 4, '\x7f');
    image.append(16 * 4, '\0');
    std::string icon;
    for (uint32_t v : {0u, 1u, 1u}) wl::appendLe16(icon, v);
    icon += std::string("\x10\x10\0\0", 4);
    wl::appendLe16(icon, 1);
    wl::appendLe16(icon, 32);
    wl::appendLe32(icon, uint32_t(image.size()));
    wl::appendLe32(icon, 22);
    return icon + image;
}

// Whether a name can be written out here: the build machine holds at most 255
// bytes in one component, Windows 255 characters.
bool writableHere(const std::string& name) {
    std::size_t run = 0;
    for (char c : name) {
        run = c == '\\' ? 0 : run + 1;
        if (run > 255) return false;
    }
    return true;
}

// Compiles and packs; false when the packer refuses the text, with its reason.
bool packText(std::string_view toml, const std::string& baseDir, std::string& package, std::string& error,
              bool& writable) {
    pack::PackConfig config;
    if (!pack::compileConfig(toml, baseDir, 1252, config, error)) return false;
    writable = true;
    // What the packer takes, the launcher extracts: no name it refuses, no
    // two names for one file.
    std::vector<std::string> names;
    for (const pack::IncludedFile& file : config.files) names.push_back(file.name);
    std::optional<wl::RefusedName> refused = wl::findRefusedIncludedName(names, pack::codePageCodec(1252));
    FUZZ_CHECK(!refused, "the launcher refuses %s", names[refused ? refused->index : 0].c_str());
    for (const pack::IncludedFile& file : config.files) {
        std::string utf8;
        writable = writable && pack::codePageToUtf8(file.name, 1252, utf8) && writableHere(utf8);
    }
    if (!config.iconPath.empty()) FUZZ_CHECK(pack::readWholeFile(config.iconPath, config.resources.icon));
    if (!pack::assemblePackage(templateImage, config, package, error)) return false;
    // The packer streams the included files' records behind the block; here
    // they are appended in memory: the 64-bit size, then the masked content.
    for (const pack::IncludedFile& file : config.files) {
        std::string content;
        FUZZ_CHECK(pack::readWholeFile(file.sourcePath, content), "%s", file.sourcePath.c_str());
        wl::appendLe64(package, uint64_t(content.size()));
        for (char c : content) package.push_back(char(static_cast<unsigned char>(c) ^ wl::kIncludedFileMask));
    }
    return true;
}

void writeSource(const fs::path& path, std::string_view content) {
    pack::ReplacingFile out(path.string());
    FUZZ_CHECK(out.write(content) && out.commit(), "%s", path.string().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    templateImage = loadTemplate((*argv)[0]);
    // Beside the fuzz target in the build tree, where a run that crashed
    // leaves nothing in the system's temporary directory.
    workDir = fs::absolute(fs::path((*argv)[0]).parent_path()) / ("toml-work-" + std::to_string(getpid()));
    fs::create_directories(workDir / "src");
    // Sources a configuration may name: src/a.txt, src/lib/b.bin, src/app.ico.
    fs::create_directories(workDir / "src" / "lib");
    writeSource(workDir / "src" / "a.txt", "text\n");
    writeSource(workDir / "src" / "lib" / "b.bin", std::string_view("\0\xA7\xFF", 3));
    writeSource(workDir / "src" / "app.ico", smallIcon());
    std::atexit([] { fs::remove_all(workDir); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string first, error;
    bool writable = true;
    if (!packText(fuzz::bytesOf(data, size), (workDir / "src").string(), first, error, writable)) {
        FUZZ_CHECK(!error.empty(), "a refusal says why");
        return 0;
    }
    // A dump writes the included files out under their names.
    if (!writable) return 0;
    fs::path out = workDir / "dump";
    fs::remove_all(out);
    std::string dumped;
    FUZZ_CHECK(pack::dumpPackage(first, 1252, out.string(), dumped, error), "dump: %s", error.c_str());
    std::string second;
    FUZZ_CHECK(packText(dumped, out.string(), second, error, writable), "the dump does not pack: %s\n%s",
               error.c_str(), dumped.c_str());
    FUZZ_CHECK(second == first, "the dump packs to other bytes:\n%s", dumped.c_str());
    return 0;
}
