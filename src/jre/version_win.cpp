// The Win32 half of the version check: the registry cache, the "-version" run
// of a java.exe, and checkJavaExe, which puts them together.
#include <iterator>

#include "base/child_process.h"
#include "base/environment.h"
#include "base/handle.h"
#include "base/process_state.h"
#include "base/text.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/store.h"
#include "diag/log.h"
#include "files/paths.h"
#include "files/tempdir.h"
#include "jre/version.h"

namespace wl {
namespace {

// The probe's output file: the first line is all that is read.
std::string readFileStart(const std::string& name, std::size_t limit) {
    FileHandle file(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file) return bytes;
    bytes.resize(limit);
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data(), DWORD(limit), &got, nullptr)) got = 0;
    bytes.resize(got);
    return bytes;
}

// The value of a registry value, up to capacity bytes; nothing when it is
// missing or longer.
std::optional<std::string> queryValue(HKEY key, const char* name, DWORD capacity) {
    std::string data(capacity, '\0');
    DWORD size = capacity;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return data;
}

}  // namespace

std::string fullJavaPath(const std::string& path) {
    std::string resolved = composeResolvedPath(path, launcherDirNarrow(), fileApiCodec());
    std::string full(kBufferSize, '\0');
    DWORD n = GetFullPathNameA(resolved.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.assign(n + 1, '\0');
        n = GetFullPathNameA(resolved.c_str(), DWORD(full.size()), full.data(), nullptr);
    }
    if (n == 0 || n >= full.size()) full = resolved;
    else full.resize(n);
    // Lower-cased through the wide form, so that a trail byte of a double-byte
    // character is never taken for a letter.
    std::u16string wide = fromNarrowPath(full);
    lowercaseAscii(wide);
    bool lossy = false;
    std::string lowered = toNarrowPath(wide, &lossy);
    if (!lossy && !lowered.empty()) full = lowered;
    collapseBackslashes(full, fileApiCodec());
    return full;
}

bool readVersionCache(const std::string& path, int64_t lastWriteTime, std::string& version) {
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, versionCacheKey(path, fileApiCodec()).c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS)
        return false;
    // A few bytes more than the 8 expected, so that a longer value is seen as such.
    std::optional<std::string> time = queryValue(key.get(), "LastWriteTime", 16);
    if (!time) return false;
    // The version buffer of the search is 2000 bytes; a longer value counts as
    // a miss and is replaced by the next probe.
    std::optional<std::string> stored = queryValue(key.get(), "Version", 2000);
    if (!stored) return false;
    std::optional<std::string> usable = usableCachedVersion(*time, lastWriteTime, *stored);
    if (!usable) return false;
    version = *usable;
    return true;
}

void writeVersionCache(const std::string& path, int64_t lastWriteTime, const std::string& version) {
    RegistryKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, versionCacheKey(path, fileApiCodec()).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.receive(), nullptr) != ERROR_SUCCESS)
        return;
    std::string time = fileTimeBytes(lastWriteTime);
    RegSetValueExA(key.get(), "LastWriteTime", 0, REG_BINARY, reinterpret_cast<const BYTE*>(time.data()), 8);
    RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                   DWORD(version.size()));
}

std::optional<std::string> suspendJavaOptionVariable(const char* name) {
    std::optional<std::string> saved = environmentVariable(name);
    if (!saved) return std::nullopt;
    logMessage(u"%S is %S", name, saved->c_str());
    SetEnvironmentVariableA(name, nullptr);
    return saved;
}

void restoreJavaOptionVariable(const char* name, const std::optional<std::string>& saved) {
    if (saved) SetEnvironmentVariableA(name, saved->c_str());
}

bool runJavaVersion(const std::string& path, int64_t lastWriteTime, std::string& version) {
    std::string executable(kBufferSize, '\0');
    DWORD n = GetShortPathNameA(path.c_str(), executable.data(), DWORD(executable.size()));
    if (n == 0 || n >= executable.size()) {
        logMessage(u"Could not get short path name for %S", path.c_str());
        executable = path;
    } else {
        executable.resize(n);
    }
    std::string commandLine = probeCommandLine(executable);

    std::optional<std::string> saved[std::size(kJavaOptionVariables)];
    for (std::size_t i = 0; i < std::size(kJavaOptionVariables); ++i)
        saved[i] = suspendJavaOptionVariable(kJavaOptionVariables[i]);

    std::string outputName = makeTempFileName();
    KernelHandle output;  // the inheritable handle the child writes its error output to
    {
        FileHandle created(CreateFileA(outputName.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (created) {
            HANDLE process = GetCurrentProcess();
            if (!DuplicateHandle(process, created.get(), process, output.receive(), 0, TRUE, DUPLICATE_SAME_ACCESS))
                output.reset();
        }
    }

    ChildProcess probe;
    bool started = probe.start(commandLine, {.creationFlags = NORMAL_PRIORITY_CLASS, .hideWindow = true,
                                             .useStandardHandles = true, .error = output.get()});
    DWORD startError = GetLastError();
    if (started) probe.wait(60000);

    for (std::size_t i = 0; i < std::size(kJavaOptionVariables); ++i)
        restoreJavaOptionVariable(kJavaOptionVariables[i], saved[i]);

    if (!started) {
        logMessage(u"Could not create process %S > %S (error %d)", commandLine.c_str(), outputName.c_str(),
                   int(startError));
        output.reset();
        DeleteFileA(outputName.c_str());
        return false;
    }

    uint32_t exitCode = probe.exitCode();
    logMessage(u"Exit Code %d", int(exitCode));
    if (exitCode == kStillActive) {
        logMessage(u"Terminating process");
        probe.terminate(1);
        // Until it is gone it holds the output file open.
        probe.wait(5000);
    } else if (exitCode != 0) {
        writeVersionCache(path, lastWriteTime, kFailedProbeVersion);
    }
    probe.close();
    output.reset();
    if (exitCode != 0) {
        DeleteFileA(outputName.c_str());
        return false;
    }

    std::optional<std::string> line = firstTextLine(readFileStart(outputName, 400), 99);
    std::optional<std::string> found = line ? versionFromProbeLine(*line) : std::nullopt;
    DeleteFileA(outputName.c_str());
    if (!found) return false;
    version = *found;
    logMessage(u"Java version: %S", version.c_str());
    return true;
}

bool checkJavaExe(std::string& path, std::string& version, const VersionBounds& bounds, bool allowBeta,
                  JavaVerdict* verdict) {
    logMessage(u"checkJavaExe (%S, [out], %d, %d, %d)", path.c_str(), int(bounds.minimum.size()),
               int(bounds.maximum.size()), allowBeta ? 1 : 0);
    path = fullJavaPath(path);
    JavaVerdict judged = JavaVerdict::Missing;
    int64_t lastWriteTime = 0;
    if (!pathExists(path, lastWriteTime)) {
        logMessage(u"file doesn't exist");
    } else {
        logMessage(u"file exists");
        version.clear();
        std::string found;
        judged = JavaVerdict::NotWorking;
        if (readVersionCache(path, lastWriteTime, found) && found != kFailedProbeVersion) {
            version = found;
            logMessage(u"got version from registry %S", version.c_str());
            judged = judgeVersion(version, bounds, allowBeta);
        } else if (runJavaVersion(path, lastWriteTime, found)) {
            version = found;
            logMessage(u"got version from execution %S", version.c_str());
            writeVersionCache(path, lastWriteTime, version);
            judged = judgeVersion(version, bounds, allowBeta);
        } else {
            logMessage(u"couldn't get version");
        }
        // A windowed application runs with javaw.exe of the same directory.
        if (judged == JavaVerdict::Accepted && getConfigInt(cfg::applicationType) == 1 && path.size() >= 4) {
            path.replace(path.size() - 4, 4, "w.exe");
            if (!pathExists(path)) judged = JavaVerdict::NoJavaw;
        }
    }
    if (verdict) *verdict = judged;
    for (const std::string& nonWorking : nonWorkingJavas) {
        if (path == nonWorking) {
            if (verdict) *verdict = JavaVerdict::NotWorking;
            return false;
        }
    }
    const bool ok = judged == JavaVerdict::Accepted;
    logMessage(u"checkJavaExe returning %d", ok ? 1 : 0);
    return ok;
}

}  // namespace wl
