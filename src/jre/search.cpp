#include "jre/search.h"

#include <algorithm>

#include "base/text.h"
#include "files/paths.h"

namespace wl {
namespace {

// dir + "\" + name, without doubling a backslash the directory ends in.
std::string joinPath(const std::string& dir, const char* name, const NarrowCodec& codec) {
    if (endsWithBackslash(dir, codec)) return dir + name;
    return dir + "\\" + name;
}

}  // namespace

std::vector<SearchEntry> parseSearchSequence(std::string_view text) {
    std::vector<SearchEntry> entries;
    for (const std::string& item : splitList(text)) entries.push_back({item[0], item.substr(1)});
    return entries;
}

bool isAbsoluteLocation(std::string_view argument) {
    return argument.size() >= 2 && (argument[1] == ':' || (argument[0] == '\\' && argument[1] == '\\'));
}

bool triedInRelativePass(const SearchEntry& entry) {
    if (entry.type == 'B') return true;
    return (entry.type == 'A' || entry.type == 'R') && !isAbsoluteLocation(entry.argument);
}

bool javaExeForHome(std::string& javaExe, const std::string& home, bool requireJdk,
                    const std::function<bool(const std::string&)>& exists, const NarrowCodec& codec) {
    javaExe = joinPath(home, "jre\\bin\\java.exe", codec);
    if (requireJdk) return exists(joinPath(home, "lib\\tools.jar", codec));
    if (!exists(javaExe)) javaExe = joinPath(home, "bin\\java.exe", codec);
    return true;
}

std::vector<std::string> javaSoftTryOrder(std::vector<std::string> names, const VersionBounds& bounds) {
    std::vector<std::string> kept;
    for (std::string& name : names)
        if (versionInRangeLenient(name, bounds)) kept.push_back(std::move(name));
    // Byte-wise, as the C library compares: std::string compares its chars as
    // unsigned, so bytes above 0x7F sort after ASCII.
    std::sort(kept.begin(), kept.end());
    std::reverse(kept.begin(), kept.end());
    return kept;
}

std::string locatedKeyToPath(std::string_view keyName) {
    std::string path(keyName);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool locatedPathConsidered(std::string_view path, bool considerAll) {
    return considerAll || path.find("qar_jres") != std::string_view::npos;
}

const JavaCandidate* preferUnlessNewer(const JavaCandidate* preferred, const JavaCandidate* other) {
    if (!preferred) return other;
    if (!other) return preferred;
    return isNewerVersion(other->version, preferred->version) ? other : preferred;
}

bool currentVersionPrefersJdk(std::string_view jdkVersion, std::string_view jreVersion) {
    return isNewerVersion(jdkVersion, jreVersion);
}

std::optional<std::string> locationFileLine(std::string_view fileBytes) {
    std::optional<std::string> line = firstTextLine(fileBytes, 5999);
    if (!line) return std::nullopt;
    while (!line->empty() && (line->back() == '\r' || line->back() == '\n')) line->pop_back();
    return line;
}

}  // namespace wl
