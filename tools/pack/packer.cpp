#include "packer.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "base/text.h"
#include "codepage.h"
#include "config/entries.h"
#include "platform.h"
#include "toml.h"

namespace pack {
namespace fs = std::filesystem;
using wl::CatalogueEntry;
using wl::EntryKind;

namespace {

// Said with every refused array: the format has none.
std::string arrayNote(const TomlValue& v) {
    return v.type == TomlValue::Type::Array ? "; arrays are not used in this file" : "";
}

bool allDigits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// A key of [settings], [messages] or a language section: a catalogue name or a
// numeric id. Sets entry to the catalogue row when there is one.
bool resolveKey(const TomlEntry& e, bool messageTable, int32_t& id, const CatalogueEntry*& entry,
                std::string& error) {
    if (allDigits(e.key)) {
        if (e.key.size() > 10 || std::stoll(e.key) > INT32_MAX) {
            error = at(e.place) + "the id " + e.key + " is out of range";
            return false;
        }
        id = int32_t(std::stoll(e.key));
        entry = wl::findCatalogueEntry(id);
        return true;
    }
    entry = wl::findCatalogueEntry(e.key);
    if (!entry) {
        error = at(e.place) + "unknown " + (messageTable ? "message" : "setting") + " name '" + e.key + "'";
        return false;
    }
    bool isMessage = entry->kind == EntryKind::Message;
    if (isMessage != messageTable) {
        error = at(e.place) + "'" + e.key + "' is a " + (isMessage ? "message; put it under [messages]"
                                                                  : "setting; put it under [settings]");
        return false;
    }
    id = entry->id;
    return true;
}

bool settingValue(const TomlEntry& e, const CatalogueEntry* entry, int codePage, std::string& out,
                  std::string& error) {
    EntryKind kind = entry ? entry->kind : EntryKind::Text;
    const TomlValue& v = e.value;
    auto wrongType = [&](const char* expected) {
        error = at(e.place) + "'" + e.key + "' takes " + expected + ", not " + typeName(v.type) + arrayNote(v);
        return false;
    };
    switch (v.type) {
        case TomlValue::Type::String:
            if (!utf8ToCodePage(v.text, codePage, out)) {
                error = at(e.place) + "'" + e.key + "' holds a character that code page " + std::to_string(codePage) +
                        " cannot represent";
                return false;
            }
            return true;
        case TomlValue::Type::Integer:
            if (entry && kind == EntryKind::Text) return wrongType("a string");
            out = std::to_string(v.integer);
            return true;
        case TomlValue::Type::Boolean:
            if (kind != EntryKind::Flag) return wrongType(kind == EntryKind::Int ? "an integer" : "a string");
            out = v.boolean ? "1" : "0";
            return true;
        default:
            break;
    }
    return wrongType(kind == EntryKind::Flag ? "a boolean" : kind == EntryKind::Int ? "an integer" : "a string");
}

bool messageValue(const TomlEntry& e, std::u16string& out, std::string& error) {
    if (e.value.type != TomlValue::Type::String) {
        error = at(e.place) + "the message '" + e.key + "' takes a string, not " + typeName(e.value.type) +
                arrayNote(e.value);
        return false;
    }
    out = wl::fromUtf8(e.value.text);
    return true;
}

bool readMessages(const TomlTable& table, const std::vector<std::string>& skip,
                  std::vector<std::pair<int32_t, std::u16string>>& out, std::string& error) {
    std::set<int32_t> seen;
    for (const TomlEntry& e : table.entries) {
        bool skipped = false;
        for (const std::string& s : skip) skipped = skipped || e.key == s;
        if (skipped) continue;
        int32_t id;
        const CatalogueEntry* entry;
        std::u16string text;
        if (!resolveKey(e, true, id, entry, error) || !messageValue(e, text, error)) return false;
        if (!seen.insert(id).second) {
            error = at(e.place) + "message " + std::to_string(id) + " is given twice";
            return false;
        }
        out.emplace_back(id, std::move(text));
    }
    return true;
}

bool stringField(const TomlTable& table, const char* key, std::string& out, std::string& error) {
    for (const TomlEntry& e : table.entries) {
        if (e.key != key) continue;
        if (e.value.type != TomlValue::Type::String) {
            error = at(e.place) + "'" + key + "' takes a string, not " + typeName(e.value.type) + arrayNote(e.value);
            return false;
        }
        out = e.value.text;
        return true;
    }
    error = at(table.place) + "[[" + table.name + "]] needs '" + key + "'";
    return false;
}

// A file named in the configuration, relative to the TOML file's directory;
// false when it is not a regular file. The path is set either way.
bool sourceFile(const std::string& baseDir, const std::string& name, std::string& path) {
    fs::path p = toPath(name);
    if (p.is_relative()) p = toPath(baseDir) / p;
    path = fromPath(p);
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

}  // namespace

std::string checkIncludedName(const std::string& name) {
    if (name.empty()) return "is empty";
    if (name.find(';') != std::string::npos) return "contains \";\", the separator of the name list";
    if (name.find(':') != std::string::npos) return "contains a drive or stream (\":\")";
    if (name[0] == '\\' || name[0] == '/') return "is absolute";
    for (unsigned char c : name) {
        if (c < 0x20 || std::string_view("<>\"|?*").find(char(c)) != std::string_view::npos)
            return "contains a character that Windows does not allow in names";
    }
    std::vector<std::string> parts;
    std::string part;
    for (char c : name + "\\") {
        if (c == '\\' || c == '/') {
            parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    for (const std::string& p : parts) {
        if (p.empty()) return "has an empty path component";
        if (p == "." || p == "..") return "climbs out with \"..\" or uses \".\"";
        if (p.back() == '.' || p.back() == ' ') return "has a component ending in a dot or a space";
        // Windows holds at most 255 characters in one component.
        if (std::count_if(p.begin(), p.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }) >
            255)
            return "has a component longer than 255 characters";
        std::string stem = p.substr(0, p.find('.'));
        while (!stem.empty() && stem.back() == ' ') stem.pop_back();
        for (char& c : stem) c = wl::asciiUpper(c);
        static const std::set<std::string> devices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
        // COM0 to COM9 and LPT0 to LPT9, also with the superscript digits 1, 2 and 3.
        std::string number = stem.size() > 3 ? stem.substr(3) : std::string();
        bool numbered = (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
                        ((number.size() == 1 && number[0] >= '0' && number[0] <= '9') ||
                         number == "\u00b9" || number == "\u00b2" || number == "\u00b3");
        if (devices.count(stem) || numbered) return "names a device";
    }
    if (parts.size() > 2) return "is nested deeper than one directory";
    return {};
}

bool readConfigLayer(std::string_view tomlText, const std::string& baseDir, int codePage, PackConfig& config,
                     std::string& error) {
    TomlDocument doc;
    if (!parseToml(tomlText, doc, error)) return false;
    config = PackConfig{};
    std::set<int32_t> settingIds;
    const TomlEntry* countGiven = nullptr;
    for (const TomlTable& table : doc.tables) {
        if (table.name.empty()) {
            if (!table.entries.empty()) {
                error = at(table.entries[0].place) + "'" + table.entries[0].key +
                        "' stands outside a table; settings belong under [settings]";
                return false;
            }
        } else if (table.name == "settings" && !table.arrayElement) {
            for (const TomlEntry& e : table.entries) {
                int32_t id;
                const CatalogueEntry* entry;
                std::string value;
                if (!resolveKey(e, false, id, entry, error) || !settingValue(e, entry, codePage, value, error))
                    return false;
                if (!settingIds.insert(id).second) {
                    error = at(e.place) + "setting " + std::to_string(id) + " is given twice";
                    return false;
                }
                if (!countGiven && (id == wl::cfg::includedFileCount || id == wl::cfg::includedFileNames))
                    countGiven = &e;
                config.block.settings.emplace_back(id, std::move(value));
            }
        } else if (table.name == "messages" && !table.arrayElement) {
            if (!readMessages(table, {}, config.block.messages, error)) return false;
        } else if (table.name == "language" && table.arrayElement) {
            wl::LanguageSection section;
            std::string prefix;
            if (!stringField(table, "prefix", prefix, error)) return false;
            if (!utf8ToCodePage(prefix, codePage, section.prefix)) {
                error = at(table.place) + "the prefix cannot be written in code page " + std::to_string(codePage);
                return false;
            }
            if (!readMessages(table, {"prefix"}, section.messages, error)) return false;
            config.block.sections.push_back(std::move(section));
        } else if (table.name == "file" && table.arrayElement) {
            IncludedFile file;
            std::string name, source;
            for (const TomlEntry& e : table.entries) {
                if (e.key != "name" && e.key != "source") {
                    error = at(e.place) + "[[file]] takes only 'name' and 'source', not '" + e.key + "'";
                    return false;
                }
            }
            if (!stringField(table, "name", name, error) || !stringField(table, "source", source, error))
                return false;
            std::string problem = checkIncludedName(name);
            if (!problem.empty()) {
                error = at(table.place) + "the included file name '" + name + "' " + problem;
                return false;
            }
            for (char& c : name)
                if (c == '/') c = '\\';
            if (!utf8ToCodePage(name, codePage, file.name)) {
                error = at(table.place) + "the included file name '" + name + "' cannot be written in code page " +
                        std::to_string(codePage);
                return false;
            }
            if (!sourceFile(baseDir, source, file.sourcePath)) {
                error = at(table.place) + "the source file " + file.sourcePath + " does not exist";
                return false;
            }
            config.files.push_back(std::move(file));
        } else if (table.name == "resources" && !table.arrayElement) {
            for (const TomlEntry& e : table.entries) {
                if (e.key != "icon") {
                    error = at(e.place) + "[resources] takes 'icon' and the table [resources.version], not '" + e.key + "'";
                    return false;
                }
            }
            if (table.entries.empty()) continue;
            std::string icon;
            if (!stringField(table, "icon", icon, error)) return false;
            if (!sourceFile(baseDir, icon, config.iconPath)) {
                error = at(table.entries[0].place) + "the icon file " + config.iconPath + " does not exist";
                return false;
            }
            config.resources.replaceIcon = true;
        } else if (table.name == "resources.version" && !table.arrayElement) {
            // An empty table changes nothing, as an empty [resources] does: a
            // version resource without strings could not be dumped back.
            if (table.entries.empty()) continue;
            config.resources.replaceVersion = true;
            for (const TomlEntry& e : table.entries) {
                bool known = false;
                for (std::string_view key : kVersionKeys) known = known || e.key == key;
                if (!known) {
                    std::string keys;
                    for (std::string_view key : kVersionKeys) keys += (keys.empty() ? "" : ", ") + std::string(key);
                    error = at(e.place) + "[resources.version] takes " + keys + ", not '" + e.key + "'";
                    return false;
                }
                std::string value;
                if (!stringField(table, e.key.c_str(), value, error)) return false;
                uint64_t number;
                std::string problem;
                if ((e.key == "FileVersion" || e.key == "ProductVersion") &&
                    !parseVersionNumber(value, number, problem)) {
                    error = at(e.place) + "'" + e.key + "' " + problem + ", not \"" + value + "\"";
                    return false;
                }
                config.resources.versionStrings.emplace_back(e.key, value);
            }
        } else {
            error = at(table.place) + "unknown table " + (table.arrayElement ? "[[" : "[") + table.name +
                    (table.arrayElement ? "]]" : "]") +
                    "; the file has [settings], [messages], [[language]], [[file]], [resources] and [resources.version]";
            return false;
        }
    }
    if (countGiven) config.fileCountGivenAt = at(countGiven->place);
    return true;
}

bool finishConfig(PackConfig& config, const std::string& countGivenIn, std::string& error) {
    if (config.files.empty()) return true;
    if (!config.fileCountGivenAt.empty()) {
        error = countGivenIn + config.fileCountGivenAt +
                "includedFileCount and includedFileNames come from the [[file]] entries; do not set them too";
        return false;
    }
    std::string names;
    for (const IncludedFile& f : config.files) names += (names.empty() ? "" : ";") + f.name;
    config.block.settings.emplace_back(wl::cfg::includedFileCount, std::to_string(config.files.size()));
    config.block.settings.emplace_back(wl::cfg::includedFileNames, names);
    return true;
}

bool compileConfig(std::string_view tomlText, const std::string& baseDir, int codePage, PackConfig& config,
                   std::string& error) {
    return readConfigLayer(tomlText, baseDir, codePage, config, error) && finishConfig(config, "", error);
}

namespace {

// Replaces the value of the same key, or adds the pair at the end.
template <typename Key, typename Value, typename Same>
void overlayPairs(std::vector<std::pair<Key, Value>>& into, std::vector<std::pair<Key, Value>>&& later, Same same) {
    for (auto& pair : later) {
        auto found = std::find_if(into.begin(), into.end(), [&](const auto& p) { return same(p.first, pair.first); });
        if (found != into.end()) found->second = std::move(pair.second);
        else into.push_back(std::move(pair));
    }
}

}  // namespace

void overlayConfig(PackConfig& config, PackConfig&& later) {
    auto sameId = [](int32_t a, int32_t b) { return a == b; };
    overlayPairs(config.block.settings, std::move(later.block.settings), sameId);
    overlayPairs(config.block.messages, std::move(later.block.messages), sameId);
    for (wl::LanguageSection& section : later.block.sections) config.block.sections.push_back(std::move(section));
    // Windows sees names that differ only in letter case as one file.
    for (IncludedFile& file : later.files) {
        auto found = std::find_if(config.files.begin(), config.files.end(),
                                  [&](const IncludedFile& f) { return wl::equalsIgnoreAsciiCase(f.name, file.name); });
        if (found != config.files.end()) *found = std::move(file);
        else config.files.push_back(std::move(file));
    }
    if (later.resources.replaceIcon) {
        config.iconPath = std::move(later.iconPath);
        config.resources.replaceIcon = true;
    }
    if (later.resources.replaceVersion) {
        overlayPairs(config.resources.versionStrings, std::move(later.resources.versionStrings),
                     [](const std::string& a, const std::string& b) { return a == b; });
        config.resources.replaceVersion = true;
    }
    if (config.fileCountGivenAt.empty()) config.fileCountGivenAt = std::move(later.fileCountGivenAt);
}

bool findBlockStart(std::string_view image, uint64_t& start, std::string& error) {
    auto u16 = [&](std::size_t o) { return uint32_t(uint8_t(image[o]) | uint8_t(image[o + 1]) << 8); };
    auto u32 = [&](std::size_t o) { return u16(o) | u16(o + 2) << 16; };
    if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z') {
        error = "the template is not a PE executable (no MZ header)";
        return false;
    }
    uint32_t pe = u32(60);
    if (uint64_t(pe) + 24 > image.size() || image.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
        error = "the template is not a PE executable (no PE signature)";
        return false;
    }
    uint32_t sections = u16(pe + 6), optional = u16(pe + 20);
    if (sections == 0 || uint64_t(pe) + 24 + optional + 40ull * sections > image.size()) {
        error = "the template's section table is damaged";
        return false;
    }
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
        char sizeBytes[8];
        for (int i = 0; i < 8; ++i) sizeBytes[i] = char((uint64_t(size) >> (8 * i)) & 0xFF);
        if (!append(sizeBytes, sizeof sizeBytes)) return false;
        uintmax_t copied = 0;
        for (;;) {
            if (used_ == buffer_.size() && !flush()) return false;
            in.read(buffer_.data() + used_, std::streamsize(buffer_.size() - used_));
            std::size_t got = std::size_t(in.gcount());
            if (got == 0) break;
            for (std::size_t i = used_; i < used_ + got; ++i)
                buffer_[i] = char(static_cast<unsigned char>(buffer_[i]) ^ kIncludedFileMask);
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
    if (i == s.size() || !allDigits(s.substr(i))) return false;
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

    // Included files, when asked for: written out and listed as [[file]].
    std::vector<std::pair<std::string, std::string>> files;  // name (UTF-8), source
    bool listFiles = !filesDir.empty();
    if (listFiles) {
        int32_t count = 0;
        std::string names;
        for (const auto& [id, value] : block.settings) {
            if (id == wl::cfg::includedFileCount) count = wl::parseDecimalClamped(value);
            if (id == wl::cfg::includedFileNames) names = value;
        }
        uint64_t position = block.end;
        std::size_t from = 0;
        for (int32_t i = 0; i < count && from <= names.size();) {
            std::size_t to = names.find(';', from);
            if (to == std::string::npos) to = names.size();
            std::string name = names.substr(from, to - from);
            from = to + 1;
            if (name.empty()) continue;
            ++i;
            if (position + 8 > image.size()) {
                error = "the included file records end early";
                return false;
            }
            uint64_t size = 0;
            for (int k = 7; k >= 0; --k) size = size << 8 | uint8_t(image[position + k]);
            position += 8;
            if (int64_t(size) < 0 || size > image.size() - position) {
                error = "the included file record of " + name + " is longer than the file";
                return false;
            }
            std::string content(image.substr(position, size));
            position += size;
            for (char& c : content) c = char(static_cast<unsigned char>(c) ^ kIncludedFileMask);
            std::string utf8Name;
            if (!codePageToUtf8(name, codePage, utf8Name) || !checkIncludedName(utf8Name).empty()) {
                error = "the included file name " + name + " cannot be written out safely";
                return false;
            }
            std::string relative = utf8Name;
            for (char& c : relative)
                if (c == '\\') c = '/';
            fs::path target = toPath(filesDir) / toPath(relative);
            if (!writeOut(target, content, error)) return false;
            files.emplace_back(utf8Name, fromPath(target));
        }
    }

    toml = "# Configuration of a launcher executable.\n";
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

    // The icon and the version information, as [resources] would set them.
    std::string icon;
    std::vector<std::pair<std::string, std::string>> version;
    if (!readResources(image.substr(0, start), icon, version, error)) return false;
    if (!icon.empty()) {
        if (listFiles) {
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

}  // namespace pack
