#include "jre/version.h"

#include <algorithm>

#include "base/little_endian.h"
#include "config/entries.h"
#include "config/store.h"
#include "diag/log.h"

namespace wl {

bool versionWithinBound(const VersionList& bound, const VersionList& candidate, bool isMaximum, bool lenient) {
    for (std::size_t i = 0; i < bound.size(); ++i) {
        int32_t v;
        if (i < candidate.size()) v = candidate[i];
        else if (lenient) return true;
        else v = 0;
        if (v == bound[i]) continue;
        return isMaximum ? v < bound[i] : v > bound[i];
    }
    return true;
}

bool versionInRangeLenient(std::string_view text, const VersionBounds& bounds) {
    VersionList parts = splitVersion(text);
    return versionWithinBound(bounds.minimum, parts, false, true) &&
           versionWithinBound(bounds.maximum, parts, true, true);
}

bool looksLikeEarlyAccess(std::string_view text) {
    for (std::string_view mark : {"beta", "ea", "rc"})
        if (text.find(mark) != std::string_view::npos) return true;
    return false;
}

const char* verdictName(JavaVerdict verdict) {
    static const char* const names[] = {"accepted",     "not found", "not working",   "beta refused", "too old",
                                        "too new",      "no javaw.exe", "JDK required", "wrong bitness", "chosen"};
    return names[static_cast<uint8_t>(verdict)];
}

JavaVerdict judgeVersion(std::string_view text, const VersionBounds& bounds, bool allowBeta) {
    if (!allowBeta && getConfigInt(cfg::allowBetaJava) == 0 && looksLikeEarlyAccess(text)) {
        logMessage(u"beta vm not allowed");
        return JavaVerdict::BetaRefused;
    }
    VersionList parts = splitVersion(text);
    if (!versionWithinBound(bounds.minimum, parts, false, false)) return JavaVerdict::TooOld;
    if (!versionWithinBound(bounds.maximum, parts, true, false)) return JavaVerdict::TooNew;
    return JavaVerdict::Accepted;
}

bool isNewerVersion(std::string_view x, std::string_view y) {
    VersionList a = splitVersion(x), b = splitVersion(y);
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (i >= b.size() || a[i] > b[i]) return true;
        if (a[i] < b[i]) return false;
    }
    return false;
}

std::string versionCacheKey(const std::string& javaExePath, const NarrowCodec& codec) {
    std::string key = "SOFTWARE\\tarnwell\\vennic\\jvms\\";
    std::optional<std::u16string> wide = exactWideForm(javaExePath, codec);
    if (!wide) {
        for (char c : javaExePath) key.push_back(c == '\\' ? '/' : c);
        return key;
    }
    std::replace(wide->begin(), wide->end(), u'\\', u'/');
    return key + codec.narrow(*wide, nullptr);
}

std::string fileTimeBytes(int64_t lastWriteTime) {
    std::string bytes;
    appendLe64(bytes, uint64_t(lastWriteTime));
    return bytes;
}

std::optional<std::string> usableCachedVersion(std::string_view storedTime, int64_t lastWriteTime,
                                               std::string_view storedVersion) {
    if (storedTime != fileTimeBytes(lastWriteTime)) return std::nullopt;
    std::string version(storedVersion.substr(0, storedVersion.find('\0')));
    if (version == "1.7." || version == "1.6." || version == "1.5.") return std::nullopt;
    return version;
}

std::string probeCommandLine(const std::string& executable) {
    bool quote = executable.find(' ') != std::string::npos;
    return (quote ? "\"" + executable + "\"" : executable) + " -version";
}

std::optional<std::string> firstTextLine(std::string_view fileBytes, std::size_t maxChars) {
    std::string line;
    std::size_t at = 0;
    while (line.size() < maxChars && at < fileBytes.size()) {
        char c = fileBytes[at++];
        if (c == '\r' && at < fileBytes.size() && fileBytes[at] == '\n') continue;  // text mode: CR LF is LF
        if (c == '\x1a') break;  // text mode: Ctrl-Z ends the file
        line.push_back(c);
        if (c == '\n') break;
    }
    if (line.empty()) return std::nullopt;
    return line;
}

std::optional<std::string> versionFromProbeLine(std::string_view line) {
    std::size_t start;
    if (line.substr(0, 14) == "java version \"") start = 14;
    else if (line.substr(0, 17) == "openjdk version \"") start = 17;
    else return std::nullopt;
    std::string_view rest = line.substr(start);
    std::size_t close = rest.find('"');
    if (close != std::string_view::npos) return std::string(rest.substr(0, close));
    // No closing quote: the line is taken to end in a quote and a line feed.
    return std::string(rest.size() > 2 ? rest.substr(0, rest.size() - 2) : std::string_view());
}

}  // namespace wl
