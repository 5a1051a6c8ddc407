#include "options/optionsfile.h"

#include <algorithm>
#include <climits>

#include "base/process_state.h"
#include "base/text.h"
#include "base/tokenize.h"
#include "base/version_list.h"
#include "config/entries.h"
#include "config/java_contract.h"
#include "config/store.h"
#include "diag/log.h"

namespace wl {
namespace {

constexpr std::u16string_view kIncludeOptions = u"-include-options ";
constexpr std::u16string_view kClassPathReplacement = u"-classpath ";
constexpr std::u16string_view kClassPathPrefix = u"-classpath/p ";
constexpr std::u16string_view kClassPathSuffix = u"-classpath/a ";

bool startsWith(const std::u16string& text, std::u16string_view prefix) {
    return std::u16string_view(text).substr(0, prefix.size()) == prefix;
}

bool sameFileName(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

// The text's last characters cut off; an empty text when it is shorter.
std::u16string withoutLast(const std::u16string& text, std::size_t count) {
    return text.size() > count ? text.substr(0, text.size() - count) : std::u16string();
}

}  // namespace

const char* optionSourceName(OptionSource source) {
    static const char* const names[] = {"launcher property", "configured", "version-specific",
                                        "locale",            "options file", "-J argument",      "class path"};
    return names[static_cast<uint8_t>(source)];
}

const char* pathStateName(PathState state) {
    static const char* const names[] = {"found", "missing", "skipped", "missing, required"};
    return names[static_cast<uint8_t>(state)];
}

void OptionCollector::add(std::string option) {
    list.push_back(std::move(option));
    if (!trace) return;
    if (reading_.empty()) {
        trace->origins.push_back({source, -1});
        return;
    }
    // The file being read is the last one opened under its name.
    int32_t file = int32_t(trace->files.size()) - 1;
    auto reading = [&](int32_t i) { return trace->files[std::size_t(i)].second && trace->files[std::size_t(i)].first == reading_.back(); };
    while (file > 0 && !reading(file)) --file;
    trace->origins.push_back({OptionSource::OptionsFile, file});
}

// A small file gets a buffer of its size (256 bytes at least), a source that
// does not know its size one of 4 KiB: most options files are a few lines
// long, and a file that grows while it is read is still read to its end.
OptionsFileReader::OptionsFileReader(ByteSource& source)
    : source_(source),
      chunkSize_(source.size() == 0 ? 4096
                                    : std::size_t(std::clamp<uint64_t>(source.size(), 256, kOptionsFileChunkSize))),
      chunk_(new char[chunkSize_]) {}

bool OptionsFileReader::fill() {
    if (ended_) return false;
    at_ = end_ = 0;
    uint32_t got = 0;
    if (!source_.read(chunk_.get(), uint32_t(chunkSize_), got)) failed_ = true;
    if (failed_ || got == 0) {
        ended_ = true;
        return false;
    }
    end_ = got;
    return true;
}

// One line as the C library's fgets reads it from a file opened in text
// mode: up to and including the next LF, at most kOptionsFileLineLimit bytes,
// a CR directly before an LF dropped and any other CR kept. False when the
// file had nothing left.
bool OptionsFileReader::rawLine(std::string& line) {
    line.clear();
    bool readAny = false;
    while (line.size() < kOptionsFileLineLimit) {
        if (at_ == end_ && !fill()) return readAny;
        readAny = true;
        const char* begin = chunk_.get() + at_;
        const char* limit = begin + std::min(end_ - at_, kOptionsFileLineLimit - line.size());
        const char* stop = std::find_if(begin, limit, [](char c) { return c == '\n' || c == '\r'; });
        line.append(begin, stop);
        at_ += std::size_t(stop - begin);
        if (stop == limit) continue;
        ++at_;
        if (*stop == '\n') {
            line.push_back('\n');
            return true;
        }
        // A CR: the next byte, perhaps in the next piece, decides.
        if (at_ == end_) fill();
        if (at_ < end_ && chunk_[at_] == '\n') continue;
        line.push_back('\r');
    }
    return true;
}

bool OptionsFileReader::next(std::string& line) {
    while (rawLine(raw_)) {
        // The line is a C string: what follows a NUL byte is not part of it
        // (a run of NUL bytes, as in a sparse file, reads as empty lines).
        std::size_t length = raw_.find('\0');
        if (length == std::string::npos) length = raw_.size();
        while (length > 0 && (raw_[length - 1] == '\r' || raw_[length - 1] == '\n')) --length;
        std::size_t first = 0;
        while (first < length && raw_[first] == ' ') ++first;
        while (length > first && raw_[length - 1] == ' ') --length;
        if (first == length || raw_[first] == '#') continue;
        line.assign(raw_, first, length - first);
        return true;
    }
    return false;
}

bool wildcardMatch(std::string_view pattern, std::string_view text) {
    // Greedy, going back only to the last "*": time proportional to the
    // product of the lengths, where trying every split at every "*" grows
    // exponentially with their number (a pattern of a dozen "*?" against a
    // version text took seconds).
    constexpr std::size_t none = std::string_view::npos;
    std::size_t p = 0, t = 0, star = none, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (star != none) {
            // The last "*" takes one more character.
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    return pattern.find_first_not_of('*', p) == std::string_view::npos;
}

int32_t majorVersion(std::string_view version) {
    VersionList parts = splitVersion(version);
    if (parts.empty()) return -1;
    return parts[0] == 1 && parts.size() > 1 ? parts[1] : parts[0];
}

bool versionConditionMatches(const std::string& condition, const std::string& version, int32_t major) {
    std::string shown = condition;
    bool matched = false;
    if (!condition.empty() && condition[0] == '*') {
        matched = wildcardMatch(std::string_view(condition).substr(1), version);
    } else if (std::size_t dash = condition.find('-'); dash != std::string::npos) {
        shown = condition.substr(0, dash);
        int32_t minimum = parseDecimalClamped(shown);
        int32_t maximum = parseDecimalClamped(condition.substr(dash + 1));
        logMessage(u"checking min %d max %d with %d", minimum, maximum, major);
        matched = minimum <= major && major <= maximum;
    } else {
        logError(u"expected dash");
    }
    logMessage(u"checking version %S %d", shown.c_str(), matched ? 1 : 0);
    return matched;
}

void OptionCollector::handleOptionLine(const std::u16string* baseFile, const std::u16string& line) {
    if (startsWith(line, kIncludeOptions)) {
        std::u16string raw = line.substr(kIncludeOptions.size());
        std::u16string expanded = raw;
        inputs_.expand(expanded, false);
        logMessage(u"after exp from %s %s", expanded.c_str(), raw.c_str());
        std::u16string resolved = inputs_.resolve(expanded, baseFile);
        // A file that is being read already would include itself without end.
        std::u16string identity = inputs_.fullFileName(resolved);
        for (const std::u16string& open : reading_) {
            if (sameFileName(open, identity)) {
                logError(u"options file %s includes itself, line skipped", resolved.c_str());
                return;
            }
        }
        if (reading_.size() >= bounds_.includeDepth) {
            logError(u"options files nested deeper than %d, %s skipped", int(bounds_.includeDepth), resolved.c_str());
            return;
        }
        if (included_ >= bounds_.includedFiles) {
            logError(u"more than %d options files included, %s skipped", int(bounds_.includedFiles), resolved.c_str());
            return;
        }
        ++included_;
        std::optional<OpenedFile> file = inputs_.openFile(resolved);
        if (trace && !file) trace->files.push_back({resolved, false});
        logMessage(u"adding vmoptions from (%p) <%s> (%s)", file ? file->handle : nullptr, resolved.c_str(),
                   expanded.c_str());
        readOptionsFile(&resolved, identity, std::move(file));
        logMessage(u"adding vmoptions 2");
        logMessage(u"adding vmoptions 3");
    } else if (startsWith(line, kClassPathReplacement)) {
        overrides.replacement = inputs_.toNarrow(line.substr(kClassPathReplacement.size()));
    } else if (startsWith(line, kClassPathPrefix)) {
        overrides.prefix = inputs_.toNarrow(line.substr(kClassPathPrefix.size()));
    } else if (startsWith(line, kClassPathSuffix)) {
        overrides.suffix = inputs_.toNarrow(line.substr(kClassPathSuffix.size()));
    } else {
        add(inputs_.toNarrow(line));
    }
}

void OptionCollector::readOptionsFile(const std::u16string* baseFile, const std::u16string& identity,
                                      std::optional<OpenedFile> file) {
    if (!file || !file->bytes) return;
    if (trace) trace->files.push_back({identity, true});
    reading_.push_back(identity);
    OptionsFileReader reader(*file->bytes);
    std::string bytes;
    while (reader.next(bytes)) {
        std::u16string line = widenBytes(bytes);
        inputs_.expand(line, true);
        const std::size_t cost = line.size() + kOptionsFileLineCost;
        if (fileText_ + cost > bounds_.text) {
            logError(u"options files hold more than %d bytes of options, the rest of %s is skipped",
                     int(bounds_.text), identity.c_str());
            fileText_ = bounds_.text;
            break;
        }
        fileText_ += cost;
        handleOptionLine(baseFile, line);
    }
    if (reader.failed()) logError(u"could not read options file %s to its end", identity.c_str());
    reading_.pop_back();
}

void OptionCollector::handleOptionWords(const std::vector<std::u16string>& words) {
    const std::u16string includeWord(kIncludeOptions.substr(0, kIncludeOptions.size() - 1));
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] == includeWord && i + 1 < words.size()) {
            handleOptionLine(nullptr, std::u16string(kIncludeOptions) + words[i + 1]);
            ++i;
        } else {
            handleOptionLine(nullptr, words[i]);
        }
    }
}

void OptionCollector::handleConfiguredLine(std::u16string line) {
    inputs_.expand(line, true);
    std::vector<std::u16string> words;
    splitCommandLine(line, words);
    handleOptionWords(words);
}

void OptionCollector::addConfiguredOptions(const std::vector<std::u16string>& arguments) {
    source = OptionSource::Configured;
    std::u16string configured = getConfigWide(cfg::vmOptions, kBufferSize);
    inputs_.expand(configured, true);
    std::vector<std::u16string> words;
    splitCommandLine(configured, words);
    logMessage(u"adding options");
    handleOptionWords(words);

    int32_t count = getConfigInt(cfg::versionSpecificOptionCount);
    if (count > 0) {
        logMessage(u"check %d version specific vm option lines for %S", count, javaVersion.c_str());
        if (!javaVersion.empty()) {
            int32_t major = majorVersion(javaVersion);
            // Only the stored conditions are looked at, in the order of k: an
            // absent one cannot match. A count far beyond the stored pairs,
            // or one stray setting at a high id, must not spin the loop
            // through millions of absent pairs. The ids of pair k stay within
            // the int32 range.
            const int64_t lastPair = std::min<int64_t>(int64_t(count) - 1, (INT32_MAX - cfg::versionSpecificOptions) / 2);
            const int64_t lastCondition = cfg::versionSpecificCondition + 2 * lastPair;
            for (auto it = configStore.settings.lower_bound(cfg::versionSpecificCondition);
                 it != configStore.settings.end() && it->first <= lastCondition; ++it) {
                if ((it->first - cfg::versionSpecificCondition) % 2 != 0) continue;
                const int32_t k = (it->first - cfg::versionSpecificCondition) / 2;
                const std::string condition = it->second;
                const bool matched = versionConditionMatches(condition, javaVersion, major);
                if (trace) trace->conditions.push_back({condition, matched});
                if (!matched) continue;
                std::u16string options = getConfigWide(cfg::versionSpecificOptions + 2 * k, kBufferSize);
                logMessage(u"adding specific %s", options.c_str());
                source = OptionSource::VersionSpecific;
                handleConfiguredLine(options);
                break;
            }
        }
    }
    source = OptionSource::Locale;
    addLocaleOptions(arguments);
}

void OptionCollector::addLocaleOptions(const std::vector<std::u16string>& arguments) {
    const std::u16string_view prefix = java::kLocaleFormatArgument;
    const std::u16string* last = nullptr;
    for (const std::u16string& argument : arguments)
        if (startsWith(argument, prefix)) last = &argument;
    if (!last) return;
    std::u16string option = *last;
    handleOptionLine(nullptr, option);
    if (option == std::u16string(prefix) + u"true") return;
    if (!localeLanguage.empty())
        handleOptionLine(nullptr, widenBytes("-Duser.language=" + localeLanguage));
    if (!localeCountry.empty())
        handleOptionLine(nullptr, widenBytes("-Duser.country=" + localeCountry));
}

void OptionCollector::readDefaultOptionsFile() {
    std::optional<OpenedFile> file;
    std::u16string name;
    for (const std::u16string& exe : {inputs_.modulePath(), inputs_.moduleFileName()}) {
        name = withoutLast(exe, 4) + u".vmoptions";
        file = inputs_.openFile(name);
        logMessage(u"vmoptions2: exe %s file: %s, file: %p", exe.c_str(), name.c_str(),
                   file ? file->handle : nullptr);
        if (file) break;
        name = exe + u".vmoptions";
        file = inputs_.openFile(name);
        logMessage(u"vmoptions: opts2: %s, file: %p", name.c_str(), file ? file->handle : nullptr);
        if (file) break;
    }
    logMessage(u"default vmoptions file: %p", file ? file->handle : nullptr);
    // Read without a base file: its includes are taken against the launcher
    // directory. It is tracked under its full name all the same.
    const std::u16string identity = file ? inputs_.fullFileName(name) : std::u16string();
    readOptionsFile(nullptr, identity, std::move(file));
}

}  // namespace wl
