// An in-memory system for the option fuzz targets: files, directory
// listings and the environment, with the launcher in C:\App\.
#pragma once

#include <map>
#include <optional>

#include "base/process_state.h"
#include "config/store.h"
#include "files/expand.h"
#include "files/paths.h"
#include "fuzz_support.h"
#include "options/optionsfile.h"

namespace fuzz {

inline std::u16string fold(std::u16string path) {
    wl::lowercaseAscii(path);
    wl::collapseBackslashes(path);
    return path;
}

// Names compare as the file system does: case and doubled backslashes do
// not count.
class MemoryInputs : public wl::OptionInputs {
public:
    std::map<std::u16string, std::string> files;
    std::vector<std::string> environment;
    std::size_t opened = 0;
    std::vector<std::u16string> wideEnvironment;
    std::optional<wl::WideExpansionValues> wideValues;
    wl::OptionsFileBounds bounds;

    // The wide environment and values are made once, at the first
    // expansion: an options file of many lines is expanded line by line.
    void expand(std::u16string& text, bool) override {
        if (wideEnvironment.size() != environment.size() || !wideValues) {
            wideEnvironment.clear();
            for (const std::string& entry : environment) wideEnvironment.push_back(wide(entry));
            wideValues = wl::WideExpansionValues{u"C:\\App\\", wide(wl::launcherTempDir), u"C:\\jre", u"C:\\T\\"};
        }
        wl::expandWithValues(text, *wideValues, wideEnvironment);
    }
    void expandNarrow(std::string& text) override {
        wl::expandWithValues(text, {"C:\\App\\", wl::launcherTempDir, "C:\\jre", "C:\\T\\"}, environment);
    }
    std::string toNarrow(const std::u16string& text) override {
        std::string out;
        for (char16_t c : text) out.push_back(c < 0x100 ? char(c) : '?');
        return out;
    }
    std::u16string resolve(const std::u16string& path, const std::u16string* base) override {
        return wl::composeResolvedPath(path, base ? wl::directoryOf(*base) : u"C:\\App\\");
    }
    std::u16string fullFileName(const std::u16string& path) override { return fold(path); }
    std::optional<wl::OpenedFile> openFile(const std::u16string& path) override {
        ++opened;
        auto it = files.find(fold(path));
        if (it == files.end()) return std::nullopt;
        return wl::OpenedFile{&it->second, std::make_unique<wl::MemorySource>(it->second)};
    }
    wl::OptionsFileBounds optionsFileBounds() const override { return bounds; }
    std::u16string modulePath() override { return u"C:\\App\\app.exe"; }
    std::u16string moduleFileName() override { return u"C:\\App\\APP.EXE"; }
    std::string launcherDir() override { return "C:\\App\\"; }
    const wl::NarrowCodec& codec() override { return wl::kByteCodec; }
    bool exists(const std::string& path) override {
        std::u16string folded = fold(wide(path));
        auto it = files.lower_bound(folded);
        return it != files.end() && it->first.compare(0, folded.size(), folded) == 0 &&
               (it->first.size() == folded.size() || it->first[folded.size()] == u'\\');
    }
    // The names directly inside the pattern's directory that match its wildcard.
    std::vector<std::string> findFiles(const std::string& pattern) override {
        std::vector<std::string> names;
        std::u16string folded = fold(wide(pattern));
        std::size_t slash = folded.rfind(u'\\');
        if (slash == std::u16string::npos) return names;
        std::string wildcard = wl::toUtf8(folded.substr(slash + 1));
        for (const auto& [name, contents] : files) {
            if (name.compare(0, slash + 1, folded, 0, slash + 1) != 0) continue;
            std::u16string rest = name.substr(slash + 1);
            if (rest.find(u'\\') == std::u16string::npos && wl::wildcardMatch(wildcard, wl::toUtf8(rest)))
                names.push_back(wl::toUtf8(rest));
        }
        return names;
    }
    std::optional<std::string> environmentVariable(const std::string& name) override {
        for (const std::string& entry : environment)
            if (entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 && entry[name.size()] == '=')
                return entry.substr(name.size() + 1);
        return std::nullopt;
    }
    std::string installationDir() override { return "C:\\App"; }
    bool createDirectory(const std::string&) override { return true; }
    bool removeFile(const std::string& path) override {
        files.erase(fold(wide(path)));
        return true;
    }
};

// Files from input pieces: the full name on the first line, the contents after it.
inline void addFiles(MemoryInputs& inputs, const std::vector<std::string>& parts, std::size_t first) {
    for (std::size_t i = first; i < parts.size(); ++i) {
        std::size_t newline = parts[i].find('\n');
        std::string name = parts[i].substr(0, newline);
        inputs.files[fold(wide(name))] = newline == std::string::npos ? "" : parts[i].substr(newline + 1);
    }
}

// Settings from "id=value" lines.
inline void setSettings(const std::string& lines) {
    wl::configStore = {};
    for (const std::string& line : pieces(lines, '\n')) {
        std::size_t equals = line.find('=');
        if (equals != std::string::npos)
            wl::configStore.settings[wl::parseDecimalClamped(line.substr(0, equals))] = line.substr(equals + 1);
    }
}

}  // namespace fuzz
