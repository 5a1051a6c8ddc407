// The Win32 half of the runtime search: location files, environment
// variables, the search path and the registry give candidates; the decisions
// on them are in search.cpp and version.cpp.
#include "base/environment.h"
#include "base/handle.h"
#include "base/process_state.h"
#include "base/text.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/store.h"
#include "diag/log.h"
#include "files/expand.h"
#include "files/paths.h"
#include "jre/jvm.h"
#include "jre/search.h"

namespace wl {
namespace {

constexpr char kInstallationsKey[] = "SOFTWARE\\tarnwell\\quarlo\\installations";
constexpr char kLocatedJvmsKey[] = "SOFTWARE\\tarnwell\\vennic\\locatedjvms\\";

// The observer of the search under way (/diagnose); none for a launch.
SearchObserver* observer = nullptr;

bool requireJdk() { return getConfigInt(cfg::requireJdk) != 0; }

bool homeJavaExe(std::string& javaExe, const std::string& home) {
    bool found = javaExeForHome(
        javaExe, home, requireJdk(), [](const std::string& path) { return pathExists(path); }, fileApiCodec());
    if (!found && observer) observer->candidate(javaExe, std::string(), JavaVerdict::JdkRequired, nullptr);
    return found;
}

// checkJavaExe, its verdict told to the observer.
bool checkJava(std::string& javaExe, std::string& version, const VersionBounds& bounds, bool allowBeta) {
    JavaVerdict verdict;
    bool ok = checkJavaExe(javaExe, version, bounds, allowBeta, &verdict);
    if (observer) observer->candidate(javaExe, version, verdict, nullptr);
    return ok;
}

// loadJvm, the verdict of loading told to the observer.
LibraryHandle loadJava(const std::string& javaExe, const std::string& version) {
    JavaVerdict verdict;
    const char* why = nullptr;
    LibraryHandle handle = loadJvm(javaExe, &verdict, &why);
    if (observer) observer->candidate(javaExe, version, verdict, why);
    return handle;
}

void step(const char* what, const std::string& argument) {
    if (observer) observer->step(what, argument);
}

// A string value of a key below root; nothing when the key or the value is
// missing, or the value does not fit capacity bytes with its terminator.
std::optional<std::string> registryString(HKEY root, const std::string& key, const char* value, DWORD capacity,
                                          REGSAM extraAccess = 0) {
    RegistryKey opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | extraAccess, opened.receive()) != ERROR_SUCCESS)
        return std::nullopt;
    std::string data(capacity, '\0');
    DWORD size = capacity;
    if (RegQueryValueExA(opened.get(), value, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return untilNul(data);
}

std::vector<std::string> subkeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[kBufferSize];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        LONG status = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS || (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)) break;
        if (status == ERROR_SUCCESS) names.emplace_back(name, length);
    }
    return names;
}

// The first line of installationDir + name; false when there is no such file
// or it is empty.
bool readLocationFile(std::string& line, const char16_t* name) {
    std::u16string dir = installationDir();
    std::u16string file = (!dir.empty() && dir.back() == u'\\') ? dir + (name + 1) : dir + name;
    FileHandle opened(CreateFileW(W(file), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!opened) return false;
    // Room for a full line of 5999 characters even when every one is a CR LF.
    std::string bytes(2 * kBufferSize, '\0');
    DWORD got = 0;
    if (!ReadFile(opened.get(), bytes.data(), DWORD(bytes.size()), &got, nullptr)) got = 0;
    bytes.resize(got);
    std::optional<std::string> first = locationFileLine(bytes);
    if (!first) return false;
    line = *first;
    return true;
}

bool checkJreDirectory(std::string& javaExe, std::string& version, const std::string& directory,
                       const VersionBounds& bounds, bool allowBeta, bool force, PrepareJre prepare) {
    std::string home = fullJavaPath(directory);
    if (home.size() > 3 && endsWithBackslash(home, fileApiCodec())) home.pop_back();
    prepare(home);
    bool ok = homeJavaExe(javaExe, home) && checkJava(javaExe, version, bounds, allowBeta);
    return ok || force;
}

bool checkJavaHomeVariable(std::string& javaExe, std::string& version, const std::string& name,
                           const VersionBounds& bounds) {
    std::optional<std::string> value = nonEmptyEnvironmentVariable(name.c_str());
    if (!value) return false;
    std::string home = *value;
    for (char& c : home)
        if (c == '/') c = '\\';
    return homeJavaExe(javaExe, home) && checkJava(javaExe, version, bounds, false);
}

bool searchJavaOnPath(std::string& javaExe, std::string& version, const VersionBounds& bounds) {
    std::string found(kBufferSize, '\0');
    DWORD n = SearchPathA(nullptr, "java.exe", nullptr, DWORD(found.size()), found.data(), nullptr);
    if (n >= found.size()) {
        found.assign(n + 1, '\0');
        n = SearchPathA(nullptr, "java.exe", nullptr, DWORD(found.size()), found.data(), nullptr);
    }
    if (n == 0 || n >= found.size()) return false;
    found.resize(n);
    javaExe = found;
    return checkJava(javaExe, version, bounds, false);
}

// A JavaSoft home directory and the check of its java.exe.
bool checkJavaSoftHome(JavaCandidate& result, const std::string& key, const VersionBounds& bounds) {
    std::optional<std::string> home = registryString(HKEY_LOCAL_MACHINE, key, "JavaHome", kBufferSize);
    if (!home) return false;
    return homeJavaExe(result.javaExe, *home) && checkJava(result.javaExe, result.version, bounds, false);
}

bool javaSoftCurrentVersion(JavaCandidate& result, const VersionBounds& bounds, const std::string& jdkKey,
                            const std::string& jreKey) {
    auto current = [&](const std::string& key) {
        std::optional<std::string> v = registryString(HKEY_LOCAL_MACHINE, key, "CurrentVersion", 100);
        return (v && versionInRangeLenient(*v, bounds)) ? *v : std::string();
    };
    std::string jdk = current(jdkKey);
    std::string jre = requireJdk() ? std::string() : current(jreKey);
    bool useJdk = currentVersionPrefersJdk(jdk, jre);
    return checkJavaSoftHome(result, (useJdk ? jdkKey : jreKey) + "\\" + (useJdk ? jdk : jre), bounds);
}

bool javaSoftEnumerate(JavaCandidate& result, const VersionBounds& bounds, const std::string& key) {
    std::vector<std::string> names;
    {
        RegistryKey opened;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, opened.receive()) != ERROR_SUCCESS)
            return false;
        names = subkeyNames(opened.get());
    }
    for (const std::string& name : javaSoftTryOrder(std::move(names), bounds))
        if (checkJavaSoftHome(result, key + "\\" + name, bounds)) return true;
    return false;
}

bool searchJavaSoftKeys(JavaCandidate& result, const VersionBounds& bounds) {
    const std::string jdk = "SOFTWARE\\JavaSoft\\JDK", jre = "SOFTWARE\\JavaSoft\\JRE";
    const std::string oldJdk = "SOFTWARE\\JavaSoft\\Java Development Kit";
    const std::string oldJre = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
    return javaSoftCurrentVersion(result, bounds, jdk, jre) ||
           (!requireJdk() && javaSoftEnumerate(result, bounds, jre)) || javaSoftEnumerate(result, bounds, jdk) ||
           javaSoftCurrentVersion(result, bounds, oldJdk, oldJre) ||
           (!requireJdk() && javaSoftEnumerate(result, bounds, oldJre)) ||
           javaSoftEnumerate(result, bounds, oldJdk);
}

// The newest accepted located JVM of one root; nothing when none is accepted.
std::optional<JavaCandidate> bestLocatedJvm(HKEY root, const VersionBounds& bounds, bool considerAll) {
    std::vector<std::string> names;
    {
        RegistryKey opened;
        if (RegOpenKeyExA(root, kLocatedJvmsKey, 0, KEY_READ, opened.receive()) != ERROR_SUCCESS)
            return std::nullopt;
        names = subkeyNames(opened.get());
    }
    std::optional<JavaCandidate> best;
    std::string bestVersion;  // a candidate must be newer than the best so far, at first the empty text
    for (const std::string& name : names) {
        JavaCandidate candidate{locatedKeyToPath(name), {}};
        if (!locatedPathConsidered(candidate.javaExe, considerAll)) continue;
        if (checkJava(candidate.javaExe, candidate.version, bounds, true) &&
            isNewerVersion(candidate.version, bestVersion)) {
            bestVersion = candidate.version;
            best = std::move(candidate);
        }
    }
    return best;
}

bool searchLocatedJvms(JavaCandidate& result, const VersionBounds& bounds, bool considerAll) {
    std::optional<JavaCandidate> user = bestLocatedJvm(HKEY_CURRENT_USER, bounds, considerAll);
    std::optional<JavaCandidate> machine = bestLocatedJvm(HKEY_LOCAL_MACHINE, bounds, considerAll);
    const JavaCandidate* chosen = preferUnlessNewer(machine ? &*machine : nullptr, user ? &*user : nullptr);
    if (!chosen) return false;
    result = *chosen;
    return true;
}

bool searchRegistryJre(std::string& javaExe, std::string& version, const VersionBounds& bounds) {
    bool privateOnly = getConfigInt(cfg::privateJresOnly) != 0;
    std::optional<JavaCandidate> javaSoft, located;
    JavaCandidate found;
    if (!privateOnly && searchJavaSoftKeys(found, bounds)) {
        logMessage(u"found sun %S %S", found.javaExe.c_str(), found.version.c_str());
        javaSoft = found;
    }
    if (searchLocatedJvms(found, bounds, !privateOnly)) {
        logMessage(u"found located %S %S", found.javaExe.c_str(), found.version.c_str());
        located = found;
    }
    const JavaCandidate* chosen = preferUnlessNewer(located ? &*located : nullptr, javaSoft ? &*javaSoft : nullptr);
    if (!chosen) return false;
    javaExe = chosen->javaExe;
    version = chosen->version;
    return true;
}

// One look at the installations value, in the registry view the access asks for.
bool installationsJre(HKEY root, REGSAM access, const std::string& applicationId, std::string& javaExe,
                      std::string& version, const VersionBounds& bounds) {
    RegistryKey key;
    LONG status = RegOpenKeyExA(root, kInstallationsKey, 0, access, key.receive());
    if (status != ERROR_SUCCESS) {
        logMessage(u"could not open installation node %d", int(status));
        return false;
    }
    std::string list(kBufferSize, '\0');
    DWORD size = DWORD(list.size());
    status = RegQueryValueExA(key.get(), applicationId.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(list.data()),
                              &size);
    if (status == ERROR_SUCCESS) list = untilNul(list.substr(0, size));
    if (status != ERROR_SUCCESS || list.empty()) {
        logMessage(u"could not query value node %d", int(status));
        return false;
    }
    logMessage(u"found installations: %S", list.c_str());
    for (const std::string& directory : splitList(list)) {
        std::string home = directory + "\\jre";
        if (!homeJavaExe(javaExe, home)) {
            logMessage(u"did not find java in %S", home.c_str());
        } else if (checkJava(javaExe, version, bounds, false)) {
            return true;
        } else {
            logMessage(u"java version did not match in %S", home.c_str());
        }
    }
    return false;
}

// The JRE of an earlier installation of the same application, as the
// installer recorded it; a 32-bit installer's record is looked for second.
bool previousInstallationJre(HKEY root, std::string& javaExe, std::string& version, const VersionBounds& bounds) {
    std::string applicationId = getConfigString(cfg::applicationId, kBufferSize);
    for (REGSAM access : {REGSAM(KEY_READ), REGSAM(KEY_READ | KEY_WOW64_32KEY)}) {
        logMessage(u"checking app id %S (%d, %p)", applicationId.c_str(), int(access), static_cast<void*>(root));
        if (applicationId.empty()) return false;
        if (installationsJre(root, access, applicationId, javaExe, version, bounds)) return true;
    }
    return false;
}

}  // namespace

bool markNonWorking(const std::string& javaExe) {
    logMessage(u"add non-working java %S", javaExe.c_str());
    nonWorkingJavas.push_back(javaExe);
    return nonWorkingJavas.size() < kNonWorkingLimit;
}

LibraryHandle findJre(std::string& javaExe, std::string& version, LocationKind& kind, std::string& location,
                      PrepareJre prepare, SearchObserver* watching) {
    struct Watch {
        explicit Watch(SearchObserver* o) { observer = o; }
        ~Watch() { observer = nullptr; }
    } watch(watching);
    kind = LocationKind::None;
    logMessage(u"Searching for a JVM");
    std::string sequence = getConfigString(cfg::jreSearchSequence, kBufferSize);
    std::string minimum = getConfigString(cfg::minJavaVersion, kBufferSize);
    std::string maximum = getConfigString(cfg::maxJavaVersion, kBufferSize);
    logMessage(u"MinVersion: %S, MaxVersion: %S", minimum.c_str(), maximum.c_str());
    const VersionBounds bounds{splitVersion(minimum), splitVersion(maximum)};

    // A candidate that passed its checks is taken: it becomes the one the
    // failure message speaks of, and its jvm.dll is loaded.
    auto take = [&](LocationKind from, const std::string& where) {
        location = where;
        kind = from;
        return loadJava(javaExe, version);
    };

    std::string line;
    const bool preferred = readLocationFile(line, u"\\.quarlo\\pref_jre.cfg");
    step("preferred location", preferred ? line : std::string());
    if (preferred) {
        logMessage(u"Has preferred location %S", line.c_str());
        if (checkJreDirectory(javaExe, version, line, bounds, true, false, prepare)) {
            logMessage(u"Using preferred location");
            if (LibraryHandle handle = take(LocationKind::Directory, line)) return handle;
        }
    }

    const std::vector<SearchEntry> entries = parseSearchSequence(sequence);
    for (const SearchEntry& entry : entries) {
        std::string argument = entry.argument;
        expandVariablesNarrow(argument);
        logMessage(u"Testing location %S (type %c)", argument.c_str(), int(static_cast<unsigned char>(entry.type)));
        if (observer) {
            const char what[] = {'e', 'n', 't', 'r', 'y', ' ', entry.type, 0};
            observer->step(what, argument);
        }
        LibraryHandle handle = nullptr;
        switch (entry.type) {
            case 'A':
            case 'B':
            case 'R':
                if (checkJreDirectory(javaExe, version, argument, bounds, false, false, prepare))
                    handle = take(LocationKind::Directory, argument);
                break;
            case 'E':
                if (checkJavaHomeVariable(javaExe, version, argument, bounds))
                    handle = take(LocationKind::EnvironmentVariable, argument);
                break;
            case 'S':
                if (searchJavaOnPath(javaExe, version, bounds)) handle = take(LocationKind::SearchPath, argument);
                break;
            case 'Y':
                while (!handle && searchRegistryJre(javaExe, version, bounds)) {
                    kind = LocationKind::Registry;
                    handle = loadJava(javaExe, version);
                    if (!handle && !markNonWorking(javaExe)) break;
                }
                break;
            default:
                break;
        }
        if (handle) return handle;
    }

    const bool installer = readLocationFile(line, u"\\.quarlo\\inst_jre.cfg");
    step("installer location", installer ? line : std::string());
    if (installer) {
        logMessage(u"Has installer location %S", line.c_str());
        if (checkJreDirectory(javaExe, version, line, bounds, false, false, prepare)) {
            logMessage(u"Using installer location");
            if (LibraryHandle handle = take(LocationKind::Directory, line)) return handle;
        }
    }

    // Last resort: a JRE shipped next to the application is used whatever its
    // version, as long as its java.exe exists.
    for (const SearchEntry& entry : entries) {
        if (!triedInRelativePass(entry)) continue;
        logMessage(u"Testing relative location %S", entry.argument.c_str());
        step("relative location", entry.argument);
        checkJreDirectory(javaExe, version, entry.argument, bounds, true, true, prepare);
        if (pathExists(javaExe)) {
            logMessage(u"%S exists", javaExe.c_str());
            if (LibraryHandle handle = take(LocationKind::Directory, entry.argument)) return handle;
        }
    }

    struct PreviousRoot {
        HKEY root;
        const char16_t* found;
        const char* step;
    };
    for (const PreviousRoot& previous :
         {PreviousRoot{HKEY_CURRENT_USER, u"found JRE from previous installation (user) %S", "earlier installation HKCU"},
          PreviousRoot{HKEY_LOCAL_MACHINE, u"found JRE from previous installation (machine) %S",
                       "earlier installation HKLM"}}) {
        step(previous.step, std::string());
        if (previousInstallationJre(previous.root, javaExe, version, bounds)) {
            logMessage(previous.found, javaExe.c_str());
            kind = LocationKind::Registry;
            if (LibraryHandle handle = loadJava(javaExe, version)) return handle;
        }
    }
    logMessage(u"Search sequence finished");

    for (const char* variable : {"VENNIC_JAVA_HOME", "QUARLO_JAVA_HOME"}) {
        step("variable", variable);
        if (checkJavaHomeVariable(javaExe, version, variable, bounds))
            if (LibraryHandle handle = take(LocationKind::EnvironmentVariable, variable)) return handle;
    }
    return nullptr;
}

}  // namespace wl
