// The dump: a packed executable's block, included files and resources as
// the TOML that packs it again.
#include "dump.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "base/little_endian.h"
#include "base/text.h"
#include "codepage.h"
#include "config/entries.h"
#include "files/extract.h"
#include "package.h"
#include "platform.h"
#include "resources.h"
#include "toml.h"

namespace pack {
namespace fs = std::filesystem;
using wl::CatalogueEntry;
using wl::EntryKind;

namespace {

bool writeOut(const fs::path& target, std::string_view content, std::string& error) {
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    std::ofstream out(target, std::ios::binary);
    out.write(content.data(), std::streamsize(content.size()));
    if (!out) {
        error = "cannot write " + fromPath(target);
        return false;
    }
    return true;
}

bool canonicalDecimal(const std::string& s) {
    if (s.empty() || s.size() > 19) return false;
    std::size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size() || s.find_first_not_of("0123456789", i) != std::string::npos) return false;
    if (s[i] == '0' && (s.size() > i + 1 || i == 1)) return false;  // no leading zeros, no "-0"
    return true;
}

std::string keyFor(int32_t id) {
    const CatalogueEntry* entry = wl::findCatalogueEntry(id);
    return entry ? std::string(entry->name) : std::to_string(id);
}

void dumpMessages(const std::vector<std::pair<int32_t, std::u16string>>& messages, std::string& out) {
    std::set<int32_t> seen;
    for (const auto& [id, text] : messages) {
        std::string line = keyFor(id) + " = " + tomlQuote(wl::toUtf8(text)) + "\n";
        out += seen.insert(id).second ? line : "# given again, this text wins: " + line;
    }
}

// The included files' records behind the block, written out under their
// names, as the launcher would extract them; files gets each name (UTF-8)
// and where it was written.
bool writeIncludedFiles(std::string_view image, const wl::ParsedBlock& block, int codePage,
                        const std::string& filesDir, std::vector<std::pair<std::string, std::string>>& files,
                        std::string& error) {
    int32_t count = 0;
    std::string list;
    for (const auto& [id, value] : block.settings) {
        if (id == wl::cfg::includedFileCount) count = wl::parseDecimalClamped(value);
        if (id == wl::cfg::includedFileNames) list = value;
    }
    std::vector<std::string> names = wl::splitIncludedFileNames(list);
    if (count < 0) names.clear();
    if (names.size() > std::size_t(count)) names.resize(std::size_t(count));
    std::vector<std::string> utf8Names;
    for (const std::string& name : names) {
        std::string utf8;
        if (!codePageToUtf8(name, codePage, utf8)) {
            error = "the included file name " + name + " is not text in code page " + std::to_string(codePage);
            return false;
        }
        utf8Names.push_back(utf8);
    }
    // Two records for one file could only be written over each other.
    if (std::optional<wl::RefusedName> refused = wl::findRefusedIncludedName(names, codePageCodec(codePage))) {
        error = "the included file name " + utf8Names[refused->index] + " cannot be written out safely: it " +
                refused->problem;
        return false;
    }
    uint64_t position = block.end;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (position + 8 > image.size()) {
            error = "the included file records end early";
            return false;
        }
        uint64_t size = wl::le64At(image, position);
        position += 8;
        if (int64_t(size) < 0 || size > image.size() - position) {
            error = "the included file record of " + names[i] + " is longer than the file";
            return false;
        }
        std::string content(image.substr(position, size));
        position += size;
        for (char& c : content) c = char(static_cast<unsigned char>(c) ^ wl::kIncludedFileMask);
        std::string relative = utf8Names[i];
        for (char& c : relative)
            if (c == '\\') c = '/';
        fs::path target = toPath(filesDir) / toPath(relative);
        if (!writeOut(target, content, error)) return false;
        files.emplace_back(utf8Names[i], fromPath(target));
    }
    return true;
}

// The [settings] table; the included files' count and names are left out
// when the files are listed as [[file]].
bool dumpSettings(const wl::ParsedBlock& block, int codePage, bool listFiles, std::string& toml, std::string& error) {
    toml += "[settings]\n";
    std::set<int32_t> seen;
    for (const auto& [id, value] : block.settings) {
        if (listFiles && (id == wl::cfg::includedFileCount || id == wl::cfg::includedFileNames)) continue;
        const CatalogueEntry* entry = wl::findCatalogueEntry(id);
        EntryKind kind = entry && entry->kind != EntryKind::Message ? entry->kind : EntryKind::Text;
        std::string key = entry && entry->kind != EntryKind::Message ? std::string(entry->name) : std::to_string(id);
        std::string shown;
        if (kind == EntryKind::Flag && (value == "1" || value == "0")) {
            shown = value == "1" ? "true" : "false";
        } else if (kind != EntryKind::Text && canonicalDecimal(value)) {
            shown = value;
        } else {
            std::string utf8;
            if (!codePageToUtf8(value, codePage, utf8)) {
                error = "setting " + std::to_string(id) + " is not text in code page " + std::to_string(codePage);
                return false;
            }
            shown = tomlQuote(utf8);
        }
        std::string line = key + " = " + shown + "\n";
        toml += seen.insert(id).second ? line : "# given again, this value wins: " + line;
    }
    return true;
}

// The icon and the version information, as [resources] would set them.
bool dumpResources(std::string_view image, const std::string& filesDir,
                   const std::vector<std::pair<std::string, std::string>>& files, std::string& toml,
                   std::string& error) {
    std::string icon;
    std::vector<std::pair<std::string, std::string>> version;
    if (!readResources(image, icon, version, error)) return false;
    if (!icon.empty()) {
        if (!filesDir.empty()) {
            // Named apart from the included files written beside it.
            std::string iconName = "icon.ico";
            for (int n = 2; std::any_of(files.begin(), files.end(), [&](const auto& f) {
                     return wl::equalsIgnoreAsciiCase(f.first, iconName);
                 }); ++n)
                iconName = "icon-" + std::to_string(n) + ".ico";
            fs::path target = toPath(filesDir) / iconName;
            if (!writeOut(target, icon, error)) return false;
            toml += "\n[resources]\nicon = " + tomlQuote(fromPath(target)) + "\n";
        } else {
            toml += "\n# The executable has an icon; --files-to DIR writes it out.\n";
        }
    }
    if (!version.empty()) {
        toml += "\n[resources.version]\n";
        for (const auto& [key, value] : version) {
            bool known = false;
            for (std::string_view k : kVersionKeys) known = known || key == k;
            toml += (known ? "" : "# not set by the packer: ") + key + " = " + tomlQuote(value) + "\n";
        }
    }
    return true;
}

}  // namespace

bool dumpPackage(std::string_view image, int codePage, const std::string& filesDir, std::string& toml,
                 std::string& error) {
    uint64_t start;
    if (!findBlockStart(image, start, error)) return false;
    wl::MemorySource source(image);
    wl::BlockReader reader(source);
    reader.seek(int64_t(start));
    wl::ParsedBlock block;
    if (!wl::parseConfigBlock(reader, block)) {
        error = "no readable configuration block (" + wl::toUtf8(reader.failure()) + ")";
        return false;
    }
    std::vector<std::pair<std::string, std::string>> files;  // name (UTF-8), where written
    bool listFiles = !filesDir.empty();
    if (listFiles && !writeIncludedFiles(image, block, codePage, filesDir, files, error)) return false;

    toml = "# Configuration of a launcher executable.\n";
    if (!dumpSettings(block, codePage, listFiles, toml, error)) return false;
    if (!listFiles && !block.settings.empty() && block.end < image.size()) {
        for (const auto& [id, value] : block.settings)
            if (id == wl::cfg::includedFileCount && wl::parseDecimalClamped(value) > 0) {
                toml += "# The contents of included files are not shown; --files-to DIR writes them out.\n";
                break;
            }
    }
    toml += "\n[messages]\n";
    dumpMessages(block.messages, toml);
    for (const wl::LanguageSection& section : block.sections) {
        std::string prefix;
        if (!codePageToUtf8(section.prefix, codePage, prefix)) prefix = section.prefix;
        toml += "\n[[language]]\nprefix = " + tomlQuote(prefix) + "\n";
        dumpMessages(section.messages, toml);
    }
    for (const auto& [name, sourcePath] : files)
        toml += "\n[[file]]\nname = " + tomlQuote(name) + "\nsource = " + tomlQuote(sourcePath) + "\n";
    return dumpResources(image.substr(0, start), filesDir, files, toml, error);
}

}  // namespace pack
