// winlaunch-pack: appends an application's configuration to a copy of the
// launcher, or prints the configuration of a packed executable.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "packer.h"

namespace {

const char kUsage[] =
    "usage: winlaunch-pack --template T.exe --config app.toml --output app.exe [--codepage N]\n"
    "       winlaunch-pack --dump app.exe [--codepage N] [--files-to DIR]\n"
    "Settings are converted from UTF-8 to the code page (default 1252).\n";

int failWith(const std::string& message) {
    std::fprintf(stderr, "winlaunch-pack: %s\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    pack::PackOptions options;
    std::string dumpPath, filesDir;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) return failWith("option " + arg + " needs a value\n" + kUsage);
        std::string value = argv[++i];
        if (arg == "--template") options.templatePath = value;
        else if (arg == "--config") options.configPath = value;
        else if (arg == "--output") options.outputPath = value;
        else if (arg == "--dump") dumpPath = value;
        else if (arg == "--files-to") filesDir = value;
        else if (arg == "--codepage") {
            char* end = nullptr;
            long cp = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end || cp <= 0 || cp > 65535) return failWith("bad code page " + value);
            options.codePage = int(cp);
        } else {
            return failWith("unknown option " + arg + "\n" + kUsage);
        }
    }

    std::string error;
    if (!dumpPath.empty()) {
        if (!options.templatePath.empty() || !options.configPath.empty() || !options.outputPath.empty())
            return failWith("--dump does not go with --template, --config or --output");
        std::ifstream in(dumpPath, std::ios::binary);
        if (!in) return failWith("cannot read " + dumpPath);
        std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string toml;
        if (!pack::dumpPackage(image, options.codePage, filesDir, toml, error)) return failWith(dumpPath + ": " + error);
        std::fputs(toml.c_str(), stdout);
        return 0;
    }
    if (options.templatePath.empty() || options.configPath.empty() || options.outputPath.empty())
        return failWith(std::string("--template, --config and --output are all needed\n") + kUsage);
    if (!filesDir.empty()) return failWith("--files-to goes with --dump");
    if (!pack::packFiles(options, error)) return failWith(error);
    return 0;
}
