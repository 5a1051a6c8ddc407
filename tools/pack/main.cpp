// winlaunch-pack: appends an application's configuration to a copy of the
// launcher, prints the configuration of a packed executable, or lists every
// setting it knows.
#include <cstdlib>
#include <string>
#include <vector>

#include "packer.h"
#include "platform.h"
#include "reference.h"

#ifndef WINLAUNCH_VERSION
#define WINLAUNCH_VERSION "unknown"
#endif

namespace {

const char kUsage[] =
    "usage: winlaunch-pack --template T.exe --config app.toml [--config more.toml ...] --output app.exe\n"
    "                      [--codepage N] [--inputs-to FILE]\n"
    "       winlaunch-pack --dump app.exe [--codepage N] [--files-to DIR]\n"
    "       winlaunch-pack --list-settings [--markdown]\n"
    "       winlaunch-pack --help | --version\n"
    "\n"
    "  --template T.exe   the launcher to copy (an unsigned winlaunch.exe, or a packed one)\n"
    "  --config app.toml  the application's configuration; --list-settings names every setting.\n"
    "                     Given again, each file is laid over the ones before: its settings,\n"
    "                     messages, version strings, icon and files of the same name win,\n"
    "                     its [[language]] sections follow theirs\n"
    "  --output app.exe   the packed executable, replaced whole or not at all\n"
    "  --codepage N       the Windows code page of the settings (default 1252)\n"
    "  --inputs-to FILE   list every file the packing read in FILE, one path a line\n"
    "  --dump app.exe     print the configuration of a packed executable as TOML\n"
    "  --files-to DIR     with --dump: write the included files and the icon to DIR\n"
    "  --list-settings    name, id, type, default and meaning of every setting and message\n"
    "  --markdown         with --list-settings: as the Markdown of docs/configuration.md\n"
    "\n"
    "Sign the packed executable, never the template: packing would break a signature.\n";

int failWith(const std::string& message) {
    pack::writeText(stderr, "winlaunch-pack: " + message + "\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = pack::commandLineArguments(argc, argv);
    pack::PackOptions options;
    std::string dumpPath, filesDir;
    bool listSettings = false, markdown = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            pack::writeText(stdout, kUsage);
            return 0;
        }
        if (arg == "--version") {
            pack::writeText(stdout, std::string("winlaunch-pack ") + WINLAUNCH_VERSION + "\n");
            return 0;
        }
        if (arg == "--list-settings" || arg == "--markdown") {
            (arg == "--markdown" ? markdown : listSettings) = true;
            continue;
        }
        if (i + 1 >= args.size()) return failWith("option " + arg + " needs a value\n" + kUsage);
        const std::string& value = args[++i];
        if (arg == "--template") options.templatePath = value;
        else if (arg == "--config") options.configPaths.push_back(value);
        else if (arg == "--inputs-to") options.inputsListPath = value;
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

    bool packing = !options.templatePath.empty() || !options.configPaths.empty() || !options.outputPath.empty() ||
                   !options.inputsListPath.empty();
    if (listSettings || markdown) {
        if (!listSettings) return failWith("--markdown goes with --list-settings");
        if (packing || !dumpPath.empty() || !filesDir.empty())
            return failWith("--list-settings goes with no other option but --markdown");
        pack::writeText(stdout, markdown ? pack::settingsReferenceMarkdown() : pack::settingsReference());
        return 0;
    }
    std::string error;
    if (!dumpPath.empty()) {
        if (packing) return failWith("--dump does not go with --template, --config, --output or --inputs-to");
        std::string image, toml;
        if (!pack::readWholeFile(dumpPath, image)) return failWith("cannot read " + dumpPath);
        if (!pack::dumpPackage(image, options.codePage, filesDir, toml, error)) return failWith(dumpPath + ": " + error);
        pack::writeText(stdout, toml);
        return 0;
    }
    if (options.templatePath.empty() || options.configPaths.empty() || options.outputPath.empty())
        return failWith(std::string("--template, --config and --output are all needed\n") + kUsage);
    if (!filesDir.empty()) return failWith("--files-to goes with --dump");
    if (!pack::packFiles(options, error)) return failWith(error);
    return 0;
}
