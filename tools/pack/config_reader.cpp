// Reading the TOML of one configuration file into a configuration, one
// function per table, and laying configuration files over each other.
#include "config.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "base/text.h"
#include "codepage.h"
#include "config/entries.h"
#include "files/extract.h"
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


// One configuration file on its way into a configuration: a function per
// table, and what the tables have given so far for the checks across them.
class LayerReader {
public:
    LayerReader(const std::string& baseDir, int codePage, PackConfig& config, std::string& error)
        : baseDir_(baseDir), codePage_(codePage), config_(config), error_(error) {}

    bool read(const TomlDocument& doc) {
        // Each table the format has, with the function that reads it.
        struct Reader {
            const char* name;
            bool arrayElement;
            bool (LayerReader::*read)(const TomlTable&);
        };
        static constexpr Reader kTables[] = {
            {"", false, &LayerReader::outside},          {"settings", false, &LayerReader::settings},
            {"messages", false, &LayerReader::messages}, {"language", true, &LayerReader::language},
            {"file", true, &LayerReader::file},          {"resources", false, &LayerReader::resources},
            {"resources.version", false, &LayerReader::version},
        };
        for (const TomlTable& table : doc.tables) {
            // The root table is never an array element.
            auto reader = std::find_if(std::begin(kTables), std::end(kTables), [&](const Reader& r) {
                return table.name == r.name && (table.name.empty() || table.arrayElement == r.arrayElement);
            });
            if (!(reader == std::end(kTables) ? unknown(table) : (this->*reader->read)(table))) return false;
        }
        if (countGiven_) config_.fileCountGivenAt = at(countGiven_->place);
        return true;
    }

private:
    bool messages(const TomlTable& table) { return readMessages(table, {}, config_.block.messages, error_); }

    bool outside(const TomlTable& table) {
        if (table.entries.empty()) return true;
        error_ = at(table.entries[0].place) + "'" + table.entries[0].key +
                 "' stands outside a table; settings belong under [settings]";
        return false;
    }

    bool settings(const TomlTable& table) {
        for (const TomlEntry& e : table.entries) {
            int32_t id;
            const CatalogueEntry* entry;
            std::string value;
            if (!resolveKey(e, false, id, entry, error_) || !settingValue(e, entry, codePage_, value, error_))
                return false;
            if (!settingIds_.insert(id).second) {
                error_ = at(e.place) + "setting " + std::to_string(id) + " is given twice";
                return false;
            }
            if (!countGiven_ && (id == wl::cfg::includedFileCount || id == wl::cfg::includedFileNames))
                countGiven_ = &e;
            config_.block.settings.emplace_back(id, std::move(value));
        }
        return true;
    }

    bool language(const TomlTable& table) {
        wl::LanguageSection section;
        std::string prefix;
        if (!stringField(table, "prefix", prefix, error_)) return false;
        if (!utf8ToCodePage(prefix, codePage_, section.prefix)) {
            error_ = at(table.place) + "the prefix cannot be written in code page " + std::to_string(codePage_);
            return false;
        }
        if (!readMessages(table, {"prefix"}, section.messages, error_)) return false;
        config_.block.sections.push_back(std::move(section));
        return true;
    }

    // A name is checked as the launcher will check it before it extracts
    // anything: in the code page it is stored in, and against the names
    // before it under the comparison Windows makes.
    bool file(const TomlTable& table) {
        IncludedFile file;
        std::string name, source;
        for (const TomlEntry& e : table.entries) {
            if (e.key != "name" && e.key != "source") {
                error_ = at(e.place) + "[[file]] takes only 'name' and 'source', not '" + e.key + "'";
                return false;
            }
        }
        if (!stringField(table, "name", name, error_) || !stringField(table, "source", source, error_)) return false;
        std::string stored = name;
        for (char& c : stored)
            if (c == '/') c = '\\';
        auto refuse = [&](const std::string& problem) {
            error_ = at(table.place) + "the included file name '" + name + "' " + problem;
            return false;
        };
        if (!utf8ToCodePage(stored, codePage_, file.name))
            return refuse("cannot be written in code page " + std::to_string(codePage_));
        std::string problem = wl::checkIncludedFileName(file.name, codePageCodec(codePage_));
        if (!problem.empty()) return refuse(problem);
        auto [earlier, fresh] =
            fileNames_.emplace(wl::includedFileNameKey(file.name, codePageCodec(codePage_)), table.place);
        if (!fresh) {
            TomlPlace first = earlier->second;
            return refuse("names the same file as the [[file]] at " + std::to_string(first.line) + ":" +
                          std::to_string(first.column) + " (Windows does not tell letter case, / and \\ apart)");
        }
        if (!sourceFile(baseDir_, source, file.sourcePath)) {
            error_ = at(table.place) + "the source file " + file.sourcePath + " does not exist";
            return false;
        }
        config_.files.push_back(std::move(file));
        return true;
    }

    bool resources(const TomlTable& table) {
        for (const TomlEntry& e : table.entries) {
            if (e.key != "icon") {
                error_ = at(e.place) + "[resources] takes 'icon' and the table [resources.version], not '" + e.key + "'";
                return false;
            }
        }
        if (table.entries.empty()) return true;
        std::string icon;
        if (!stringField(table, "icon", icon, error_)) return false;
        if (!sourceFile(baseDir_, icon, config_.iconPath)) {
            error_ = at(table.entries[0].place) + "the icon file " + config_.iconPath + " does not exist";
            return false;
        }
        config_.resources.replaceIcon = true;
        return true;
    }

    bool version(const TomlTable& table) {
        // An empty table changes nothing, as an empty [resources] does: a
        // version resource without strings could not be dumped back.
        if (table.entries.empty()) return true;
        config_.resources.replaceVersion = true;
        for (const TomlEntry& e : table.entries) {
            bool known = false;
            for (std::string_view key : kVersionKeys) known = known || e.key == key;
            if (!known) {
                std::string keys;
                for (std::string_view key : kVersionKeys) keys += (keys.empty() ? "" : ", ") + std::string(key);
                error_ = at(e.place) + "[resources.version] takes " + keys + ", not '" + e.key + "'";
                return false;
            }
            std::string value;
            if (!stringField(table, e.key.c_str(), value, error_)) return false;
            // A text of the version resource ends at its first NUL: what
            // follows it would be lost from the executable.
            if (value.find('\0') != std::string::npos) {
                error_ = at(e.place) + "'" + e.key + "' holds a NUL character (\\u0000), which would end the text";
                return false;
            }
            uint64_t number;
            std::string problem;
            if ((e.key == "FileVersion" || e.key == "ProductVersion") && !parseVersionNumber(value, number, problem)) {
                error_ = at(e.place) + "'" + e.key + "' " + problem + ", not \"" + value + "\"";
                return false;
            }
            config_.resources.versionStrings.emplace_back(e.key, value);
        }
        return true;
    }

    bool unknown(const TomlTable& table) {
        error_ = at(table.place) + "unknown table " + (table.arrayElement ? "[[" : "[") + table.name +
                 (table.arrayElement ? "]]" : "]") +
                 "; the file has [settings], [messages], [[language]], [[file]], [resources] and [resources.version]";
        return false;
    }

    const std::string& baseDir_;
    int codePage_;
    PackConfig& config_;
    std::string& error_;
    std::set<int32_t> settingIds_;
    const TomlEntry* countGiven_ = nullptr;
    std::map<std::u16string, TomlPlace> fileNames_;  // by the name's key: where it was given
};

}  // namespace

bool readConfigLayer(std::string_view tomlText, const std::string& baseDir, int codePage, PackConfig& config,
                     std::string& error) {
    TomlDocument doc;
    if (!parseToml(tomlText, doc, error)) return false;
    config = PackConfig{};
    config.codePage = codePage;
    return LayerReader(baseDir, codePage, config, error).read(doc);
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
    const wl::NarrowCodec& codec = codePageCodec(config.codePage);
    for (IncludedFile& file : later.files) {
        std::u16string key = wl::includedFileNameKey(file.name, codec);
        auto found = std::find_if(config.files.begin(), config.files.end(), [&](const IncludedFile& f) {
            return wl::includedFileNameKey(f.name, codec) == key;
        });
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

}  // namespace pack
