// The Win32 half of the path utilities: gathers the system's answers and hands
// them to the decisions in paths.cpp.
#include "base/child_process.h"
#include "base/format.h"
#include "base/handle.h"
#include "base/text.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/store.h"
#include "diag/log.h"
#include "files/paths.h"

namespace wl {
namespace {

struct ModulePaths {
    std::u16string wide;
    std::string narrow;
    std::string dirNarrow;
    std::u16string dirNarrowAsWide;
    std::u16string dirWide;
    bool known = false;
    bool dirsKnown = false;
};

ModulePaths& modulePaths() {
    static ModulePaths paths;
    return paths;
}

void computeModulePaths() {
    ModulePaths& p = modulePaths();
    if (p.known) return;
    p.known = true;

    std::u16string raw = moduleFileNameWide();
    std::u16string longName;
    SetLastError(0);
    bool haveLong = readSystemString(longName, [&](wchar_t* b, DWORD n) { return GetLongPathNameW(W(raw), b, n); });
    DWORD longError = GetLastError();
    logMessage(u"init file name %s %s %d %d", raw.c_str(), haveLong ? longName.c_str() : u"",
               int(haveLong ? longName.size() : 0), int(longError));
    p.wide = haveLong ? longName : raw;

    p.narrow = chooseNarrowModulePath(
        [&] {
            NarrowCandidate c;
            c.text = toNarrowPath(p.wide, &c.lossy);
            return c;
        },
        [&] {
            NarrowCandidate c;
            std::u16string shortName;
            if (readSystemString(shortName, [&](wchar_t* b, DWORD n) { return GetShortPathNameW(W(p.wide), b, n); }))
                c.text = toNarrowPath(shortName, &c.lossy);
            return c;
        },
        [&] { return shortPathViaCmd(p.wide); },
        []() -> std::optional<std::string> {
            char name[kBufferSize];
            DWORD n = GetModuleFileNameA(nullptr, name, sizeof name);
            if (n == 0 || n >= sizeof name) return std::nullopt;
            char shortName[kBufferSize];
            DWORD s = GetShortPathNameA(name, shortName, sizeof shortName);
            if (s == 0 || s >= sizeof shortName) return std::string(name, n);
            return std::string(shortName, s);
        });
    collapseBackslashes(p.wide);
    collapseBackslashes(p.narrow, fileApiCodec());
    logMessage(u"narrow module path %S", p.narrow.c_str());
}

void computeLauncherDirs() {
    ModulePaths& p = modulePaths();
    if (p.dirsKnown) return;
    computeModulePaths();
    p.dirsKnown = true;

    char narrow[kBufferSize];
    char* filePart = nullptr;
    DWORD n = GetFullPathNameA(p.narrow.c_str(), sizeof narrow, narrow, &filePart);
    if (n > 0 && n < sizeof narrow) {
        p.dirNarrow = filePart ? std::string(narrow, std::size_t(filePart - narrow)) : std::string(narrow, n);
    }
    // Widened with the code page, so that a later narrow conversion gives the
    // same bytes back; byte for byte would garble every character beyond
    // Latin-1.
    p.dirNarrowAsWide = fromNarrowPath(p.dirNarrow);

    std::u16string wide(kBufferSize, u'\0');
    wchar_t* wideFilePart = nullptr;
    DWORD w = GetFullPathNameW(W(p.wide), DWORD(wide.size()), W(wide.data()), &wideFilePart);
    if (w > 0 && w < wide.size()) {
        wide.resize(wideFilePart ? std::size_t(U(wideFilePart) - wide.data()) : w);
        p.dirWide = wide;
    }
}

}  // namespace

std::string toNarrowPath(const std::u16string& path, bool* lossy) { return fileApiCodec().narrow(path, lossy); }

std::u16string fromNarrowPath(const std::string& path) { return fileApiCodec().widen(path); }

const std::u16string& modulePathWide() {
    computeModulePaths();
    return modulePaths().wide;
}

const std::string& modulePathNarrow() {
    computeModulePaths();
    return modulePaths().narrow;
}

const std::string& launcherDirNarrow() {
    computeLauncherDirs();
    return modulePaths().dirNarrow;
}

const std::u16string& launcherDirNarrowAsWide() {
    computeLauncherDirs();
    return modulePaths().dirNarrowAsWide;
}

const std::u16string& launcherDirWide() {
    computeLauncherDirs();
    return modulePaths().dirWide;
}

std::optional<std::string> shortPathViaCmd(const std::u16string& path) {
    KernelHandle readEnd, writeEnd;
    if (const char16_t* failedCall = createChildPipe(readEnd, writeEnd, true)) {
        logMessage(u"%s error (%d)", failedCall, int(GetLastError()));
        return std::nullopt;
    }

    std::u16string windowsDir;
    readSystemString(windowsDir, [](wchar_t* b, DWORD n) { return GetWindowsDirectoryW(b, n); });
    std::u16string command =
        windowsDir + formatWide(u"\\system32\\cmd.exe /C for %%I in (\"%s\") do @echo %%~sI", path.c_str());
    logMessage(u"executing %s", command.c_str());

    ChildProcess interpreter;
    if (!interpreter.start(command, {.creationFlags = CREATE_NO_WINDOW, .useStandardHandles = true,
                                     .output = writeEnd.get(), .error = writeEnd.get()})) {
        logMessage(u"could not execute cmd.exe");
        return std::nullopt;
    }
    writeEnd.reset();

    std::string output;
    char chunk[kBufferSize];
    while (output.size() < sizeof chunk) {
        DWORD got = 0;
        if (!ReadFile(readEnd.get(), chunk, DWORD(sizeof chunk - output.size()), &got, nullptr) || got == 0) break;
        output.append(chunk, got);
    }
    logMessage(u"finished reading from cmd.exe %d \"%S\"", int(output.size()), output.c_str());
    readEnd.reset();

    // The end of the output comes as the interpreter exits; give it a moment
    // to finish so that its exit code is known rather than "still active".
    interpreter.wait(5000);
    uint32_t exitCode = interpreter.exitCode();
    logMessage(u"Exit Code %d", int(exitCode));
    if (exitCode == kStillActive) {
        logMessage(u"Terminating process");
        interpreter.terminate(1);
        return std::nullopt;
    }
    std::optional<std::string> result = shortPathFromCmdOutput(output, exitCode);
    if (result) logMessage(u"Using %S", result->c_str());
    return result;
}

std::u16string resolvePath(const std::u16string& path, bool useNarrowDir, const std::u16string* baseFile) {
    std::u16string baseDir;
    if (isRelativePath(path)) {
        if (baseFile) {
            std::u16string full;
            if (readSystemString(full, [&](wchar_t* b, DWORD n) {
                    return GetFullPathNameW(W(*baseFile), n, b, nullptr);
                }))
                baseDir = directoryOf(full);
        } else {
            baseDir = useNarrowDir ? launcherDirNarrowAsWide() : launcherDirWide();
        }
    }
    return composeResolvedPath(path, baseDir);
}

std::u16string fullPath(const std::u16string& path, bool useNarrowDir, bool keepCase) {
    std::u16string resolved = resolvePath(path, useNarrowDir);
    std::u16string full;
    if (!readSystemString(full, [&](wchar_t* b, DWORD n) { return GetFullPathNameW(W(resolved), n, b, nullptr); }))
        full = resolved;
    if (!keepCase) lowercaseAscii(full);
    collapseBackslashes(full);
    return full;
}

std::u16string installationDir() {
    return fullPath(fromNarrowPath(getConfigString(cfg::installationDirectory, kBufferSize)), false, true);
}

bool pathExists(const std::u16string& path) {
    if (isDriveRoot(path)) return true;
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW(W(path), &data));
    return find.valid();
}

bool pathExists(const std::string& path) {
    if (isDriveRoot(path)) return true;
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA(path.c_str(), &data));
    return find.valid();
}

bool pathExists(const std::string& path, int64_t& lastWriteTime) {
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA(path.c_str(), &data));
    if (!find.valid()) return false;
    lastWriteTime = int64_t(uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime);
    return true;
}

}  // namespace wl
