// Java versions: the arithmetic that decides whether a runtime fits the
// configured range, the reading of a runtime's "-version" output, the per-user
// cache of versions learned by running java.exe, and the check of one java.exe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"
#include "base/version_list.h"

namespace wl {

// The configured range; an empty list is no bound on that side.
struct VersionBounds {
    VersionList minimum;
    VersionList maximum;
};

// --- Portable decisions ---

// Compares the candidate with one bound over the bound's own length, part by
// part: the first part that differs decides. A candidate shorter than the
// bound passes when lenient, and is padded with zeros otherwise. An empty
// bound admits everything.
bool versionWithinBound(const VersionList& bound, const VersionList& candidate, bool isMaximum, bool lenient);

// Both bounds, lenient: for registry names such as 1.8 that stand for every
// update of that line.
bool versionInRangeLenient(std::string_view text, const VersionBounds& bounds);

// True when the text has "beta", "ea" or "rc" anywhere (case-sensitive).
bool looksLikeEarlyAccess(std::string_view text);

// What the checks of the search say of one java.exe: the verdicts of
// checkJavaExe, the home without tools.jar when a JDK is required, and those
// of loading its jvm.dll.
enum class JavaVerdict : uint8_t {
    Accepted,      // passed its checks; not yet taken
    Missing,       // no such java.exe
    NotWorking,    // no version learned, listed as non-working, or jvm.dll unusable
    BetaRefused,
    TooOld,
    TooNew,
    NoJavaw,       // a windowed application, and no javaw.exe beside it
    JdkRequired,   // a JDK is required, and the home has no lib\tools.jar
    WrongBitness,  // jvm.dll is built for another architecture
    Chosen,        // its jvm.dll was loaded: the search ends here
};

// The verdict in words ("too old"), as reports show it.
const char* verdictName(JavaVerdict verdict);

// The full test of a runtime's version: early-access texts are refused (and
// logged) unless allowBeta or the allowBetaJava setting says otherwise; then
// the minimum and the maximum, strict. Accepted, BetaRefused, TooOld or TooNew.
JavaVerdict judgeVersion(std::string_view text, const VersionBounds& bounds, bool allowBeta);
inline bool versionAccepted(std::string_view text, const VersionBounds& bounds, bool allowBeta) {
    return judgeVersion(text, bounds, allowBeta) == JavaVerdict::Accepted;
}

// x strictly newer than y, compared over x's parts; a part y lacks makes x
// newer. The empty text is never newer; every non-empty one is newer than it.
bool isNewerVersion(std::string_view x, std::string_view y);

// The registry key of a java.exe in the per-user version cache: the path with
// every backslash written as "/", so that it is one key name. The path is in
// the codec's code page, where a double-byte character may end in the byte of
// a backslash: only backslash characters are written as "/".
std::string versionCacheKey(const std::string& javaExePath, const NarrowCodec& codec);

// The version marking a java.exe whose "-version" run failed: always a miss.
inline constexpr char kFailedProbeVersion[] = "1.0.0";

// A cached version counts only when the stored last-write time is the file's
// (exactly 8 bytes, equal) and the text is not one of the truncated forms that
// older releases stored ("1.7.", "1.6.", "1.5."). The text ends at its first
// NUL, as a C string would.
std::optional<std::string> usableCachedVersion(std::string_view storedTime, int64_t lastWriteTime,
                                               std::string_view storedVersion);

// The little-endian bytes of a 64-bit file time, as the cache stores it.
std::string fileTimeBytes(int64_t lastWriteTime);

// The command line of the version probe. The 8.3 form has no spaces and goes
// as it is; a long path (when no short form could be had) is quoted when it
// holds a space, or "C:\Program Files\..." would start "C:\Program".
std::string probeCommandLine(const std::string& executable);

// The first line of a text file as the C runtime's line reader in text mode
// gives it: CR LF read as LF, the line end kept, at most maxChars characters.
// Nothing for an empty file.
std::optional<std::string> firstTextLine(std::string_view fileBytes, std::size_t maxChars);

// The version in the first line of "java -version": the text between the
// double quotes behind "java version " or "openjdk version ". Without a
// closing quote, the rest of the line minus its last two characters. Any other
// line holds no version.
std::optional<std::string> versionFromProbeLine(std::string_view line);

// The variables a JVM picks options up from, in the order they are suspended
// while a runtime's version is probed (their notices would come before the
// version line).
inline constexpr const char* kJavaOptionVariables[] = {"_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS"};

// --- Windows side ---

// A path made full against the launcher directory and lower-cased, the form
// in which runtimes are compared, cached and listed.
std::string fullJavaPath(const std::string& path);

// Whether the java.exe at path is usable: it exists, its version (from the
// cache, else learned by running it) is accepted, it is not listed as
// non-working, and, for windowed applications, its javaw.exe exists. The path
// becomes its full lower-case form (javaw.exe for windowed applications) and
// version the runtime's version, both for the caller to keep. verdict, when
// given, receives the reason (Accepted when the result is true).
bool checkJavaExe(std::string& path, std::string& version, const VersionBounds& bounds, bool allowBeta,
                  JavaVerdict* verdict = nullptr);

// The per-user cache entry of a java.exe (HKCU, versionCacheKey). Reading gives
// a version only when the entry was written for this last-write time; writing
// ignores failures.
bool readVersionCache(const std::string& path, int64_t lastWriteTime, std::string& version);
void writeVersionCache(const std::string& path, int64_t lastWriteTime, const std::string& version);

// Runs "java.exe -version" with the Java option variables suspended, waits at
// most 60 s, and reads the version from its error output. A run that ends with
// a non-zero code is cached as kFailedProbeVersion.
bool runJavaVersion(const std::string& path, int64_t lastWriteTime, std::string& version);

// Removes the variable from the environment and returns its value, or nothing
// when it was not set. restoreJavaOptionVariable puts such a value back.
std::optional<std::string> suspendJavaOptionVariable(const char* name);
void restoreJavaOptionVariable(const char* name, const std::optional<std::string>& saved);

}  // namespace wl
