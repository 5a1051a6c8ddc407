// Finding a Java runtime: the configured search sequence with the fixed steps
// around it (preferred and installer locations, relative directories, earlier
// installations, VENNIC_JAVA_HOME and QUARLO_JAVA_HOME), the system's Java
// registry keys and the JVMs other programs located.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jre/version.h"

namespace wl {

// A loaded library (an HMODULE); null when none.
using LibraryHandle = void*;

// Readies a JRE directory (no trailing backslash) before it is examined: the
// launcher passes the packed-JRE preparation (unpack/pack200.h), which lies
// beside this subsystem rather than below it.
using PrepareJre = void (*)(const std::string& jreDirectory);

// Where the runtime that was tried last came from; it chooses the message
// shown when nothing could be loaded.
enum class LocationKind { None, SearchPath, Directory, EnvironmentVariable, Registry };

// One entry of the search sequence: a type letter and its argument.
struct SearchEntry {
    char type = 0;
    std::string argument;
};

// A java.exe that passed its checks, with its version.
struct JavaCandidate {
    std::string javaExe;
    std::string version;
};

// Watches a search as it goes, for /diagnose; the launch passes none. It is
// told of each step, of every java.exe judged (a taken one a second time,
// with the verdict of loading its jvm.dll), and of the outcome.
class SearchObserver {
public:
    // A step begins: what it is ("entry A", "preferred location") and its
    // argument (the expanded location, a file, a variable's name).
    virtual void step(const char* what, const std::string& argument) = 0;
    // why, when not null, details the verdict.
    virtual void candidate(const std::string& javaExe, const std::string& version, JavaVerdict verdict,
                           const char* why) = 0;
    // The jvm.dll loaded, and the step's kind and location that led to it.
    virtual void loaded(const std::string& library, LocationKind kind, const std::string& location) = 0;
    // The launch could not go on: the message it shows and the reason.
    virtual void failed(int32_t message, const std::u16string* argument, const char* reason) = 0;

protected:
    ~SearchObserver() = default;
};

// --- Portable decisions ---

// The entries of the search sequence: the first character is the type, the
// rest the argument.
std::vector<SearchEntry> parseSearchSequence(std::string_view text);

// At least two characters, and a drive colon second or two leading
// backslashes.
bool isAbsoluteLocation(std::string_view argument);

// The relative pass retries every B entry, and A and R entries whose argument
// is not absolute.
bool triedInRelativePass(const SearchEntry& entry);

// The java.exe of a home directory: home\jre\bin\java.exe when it exists, else
// home\bin\java.exe (whose existence is checked later). With requireJdk the
// jre\bin path stays and only a home with lib\tools.jar qualifies. The home is
// in the codec's code page.
bool javaExeForHome(std::string& javaExe, const std::string& home, bool requireJdk,
                    const std::function<bool(const std::string&)>& exists, const NarrowCodec& codec);

// The subkey names of a JavaSoft key to try, in order: those within the range
// (lenient), sorted byte-wise and walked from the last. The order is textual:
// 9 comes before 11.0.2, before 11, before 1.8.0_202.
std::vector<std::string> javaSoftTryOrder(std::vector<std::string> names, const VersionBounds& bounds);

// A located-JVM key name as a path: every "/" written as "\".
std::string locatedKeyToPath(std::string_view keyName);

// Located JVMs count when all are considered, or when the path is one of the
// launcher's own private JREs.
bool locatedPathConsidered(std::string_view path, bool considerAll);

// The one rule for two results: the other wins only when it is strictly newer
// than the preferred one; a missing result always loses.
const JavaCandidate* preferUnlessNewer(const JavaCandidate* preferred, const JavaCandidate* other);

// The JavaSoft "CurrentVersion" pair: the JDK key wins only when its version is
// strictly newer; a tie goes to the JRE. Each text is given after the range
// test (empty when it failed). True for the JDK key.
bool currentVersionPrefersJdk(std::string_view jdkVersion, std::string_view jreVersion);

// The line of a location file: its first line without trailing CR and LF, read
// as a 6000-byte line reader would. Nothing for an empty file; an empty line
// counts.
std::optional<std::string> locationFileLine(std::string_view fileBytes);

// The registry search gives up once this many java.exe paths failed to load.
inline constexpr std::size_t kNonWorkingLimit = 50;

// --- Windows side ---

// The whole search; every directory it examines is readied by prepare first.
// Returns the loaded jvm.dll, or null; javaExe, version, kind and location
// describe the runtime that was tried last. The observer, when given, is told
// of every step and candidate.
LibraryHandle findJre(std::string& javaExe, std::string& version, LocationKind& kind, std::string& location,
                      PrepareJre prepare, SearchObserver* observer = nullptr);

// Lists the path as non-working; true while the list has room for more.
bool markNonWorking(const std::string& javaExe);

}  // namespace wl
