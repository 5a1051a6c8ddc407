// The Win32 half of loading jvm.dll: PATH and the loader's directories are
// prepared for the runtime's bin directory, then the JVM-type subdirectories
// are tried; what the user is told when nothing could be loaded.
#include "base/bitness.h"
#include "base/environment.h"
#include "base/process_state.h"
#include "base/text.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/messages.h"
#include "config/store.h"
#include "diag/log.h"
#include "files/pathenv.h"
#include "files/paths.h"
#include "jre/jvm.h"

namespace wl {
namespace {

// PATH in its wide form, so that entries the narrow code page cannot hold
// come back unchanged when it is restored. Nothing when it is unset.
struct PathValue {
    std::optional<std::u16string> value;
    DWORD announced = 0;  // the size the first query gave: length plus one, 0 when unset
};

PathValue currentPath() {
    PathValue path;
    path.value = environmentVariable(u"PATH");
    path.announced = path.value ? DWORD(path.value->size() + 1) : 0;
    return path;
}

bool setPath(const std::optional<std::u16string>& value) { return setEnvironmentEverywhere(u"PATH", value); }

// The running Windows version. GetVersionEx gives 6.2 to programs without a
// compatibility manifest on every Windows from 8 on, so the kernel's own
// answer comes first.
void windowsVersion(DWORD& major, DWORD& minor) {
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    if (HMODULE ntdll = GetModuleHandleA("ntdll.dll")) {
        if (auto get = reinterpret_cast<RtlGetVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))) {
            OSVERSIONINFOW info{};
            info.dwOSVersionInfoSize = sizeof info;
            if (get(&info) == 0) {
                major = info.dwMajorVersion;
                minor = info.dwMinorVersion;
                return;
            }
        }
    }
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    major = info.dwMajorVersion;
    minor = info.dwMinorVersion;
}

// Before Windows 10 the runtime's own ucrtbase.dll must be in place before its
// jvm.dll is loaded; it is loaded with bin as the current directory, so that
// its own dependencies come from there too.
void preloadUcrt(const std::string& bin) {
    DWORD major = 0, minor = 0;
    windowsVersion(major, minor);
    if (!needsUcrtPreload(major, minor)) return;
    std::string ucrt = bin + "\\ucrtbase.dll";
    if (!pathExists(ucrt)) return;
    logMessage(u"Preloading ucrtbase.dll 4");
    std::string current(kBufferSize, '\0');
    DWORD n = GetCurrentDirectoryA(DWORD(current.size()), current.data());
    current.resize(n < current.size() ? n : 0);
    SetCurrentDirectoryA(bin.c_str());
    if (!LoadLibraryA("ucrtbase.dll") && !LoadLibraryA(ucrt.c_str())) logMessage(u"Could not preload ucrtbase.dll");
    if (!current.empty()) SetCurrentDirectoryA(current.c_str());
}

// What the attempts of one loadJvm met: whether any jvm.dll existed, and
// whether one of them was built for another architecture.
struct LoadTrace {
    bool found = false;
    bool otherArchitecture = false;
};

HMODULE tryJvmDll(const std::string& bin, const std::string& type, LoadTrace& trace) {
    std::string path = bin + "\\" + type + "\\jvm.dll";
    bool exists = pathExists(path);
    logMessage(u"Trying %S (exists %d)", path.c_str(), exists ? 1 : 0);
    HMODULE handle = LoadLibraryA(path.c_str());
    if (!handle && exists) {
        DWORD error = GetLastError();
        logMessage(u"Failed with error code %d", int(error));
        trace.found = true;
        if (error == ERROR_BAD_EXE_FORMAT) trace.otherArchitecture = true;
    }
    return handle;
}

HMODULE loadJvmFromBin(const std::string& javaExe, LoadTrace& trace) {
    std::string bin = binDirectoryOf(javaExe);
    void* cookie = addDllDirectory(bin);
    preloadUcrt(bin);

    PathValue saved = currentPath();
    std::u16string newPath =
        fromNarrowPath(bin) + u";" + saved.value.value_or(std::u16string());
    if (setPath(newPath))
        logMessage(u"Setting PATH %d %s", int(saved.announced), newPath.c_str());
    else
        logMessage(u"Setting PATH %s failed with error %d", newPath.c_str(), int(GetLastError()));

    HMODULE handle = nullptr;
    for (const std::string& type : jvmTypeOrder(getConfigString(cfg::jvmTypeDirectory, 200))) {
        handle = tryJvmDll(bin, type, trace);
        if (handle) break;
    }
    if (!handle) {
        removeDllDirectory(cookie);
        const std::u16string shown = saved.value.value_or(std::u16string());
        if (setPath(saved.value))
            logMessage(u"Setting PATH %s", shown.c_str());
        else
            logMessage(u"Setting PATH %s failed with error %d", shown.c_str(), int(GetLastError()));
    }
    return handle;
}

void setJvmHome(const std::string& javaExe, const std::string& version) {
    jvmHome = jvmHomeFor(javaExe);
    javaVersion = version;
}

bool lookupCreateJavaVm(HMODULE handle) {
    if (!handle) return false;
    FARPROC entry = GetProcAddress(handle, "JNI_CreateJavaVM");
    if (!entry) return false;
    createJavaVmEntry = reinterpret_cast<FunctionAddress>(reinterpret_cast<void*>(entry));
    return true;
}

}  // namespace

LibraryHandle loadJvm(const std::string& javaExe, JavaVerdict* verdict, const char** why) {
    logMessage(u"Trying to load JVM-DLL from %S", javaExe.c_str());
    LoadTrace trace;
    HMODULE handle = loadJvmFromBin(javaExe, trace);
    if (!handle) handle = loadJvmFromBin(privateJreJavaExe(javaExe, fileApiCodec()), trace);
    if (verdict) {
        *verdict = handle ? JavaVerdict::Chosen
                   : trace.otherArchitecture ? JavaVerdict::WrongBitness
                                             : JavaVerdict::NotWorking;
        if (why) *why = handle || trace.otherArchitecture ? nullptr
                        : trace.found ? "jvm.dll does not load"
                                      : "no jvm.dll";
    }
    return handle;
}

bool LoadDLL(PrepareJre prepare, SearchObserver* observer) {
    // The line as it has always read: errors shown, no path given.
    logMessage(u"LoadDLL (%d, %S, %d)", 1, static_cast<const char*>(nullptr), 0);
    std::string javaExe, version, location;
    LocationKind kind = LocationKind::None;
    HMODULE handle = static_cast<HMODULE>(findJre(javaExe, version, kind, location, prepare, observer));
    const char* reason = "no runtime passed the checks";
    if (kind == LocationKind::None) {
        logError(u"No JVM found");
    } else {
        setJvmHome(javaExe, version);
        if (!handle) {
            logError(u"Could not get DLL-Handle.");
            reason = "no jvm.dll could be loaded";
        } else if (!lookupCreateJavaVm(handle)) {
            logError(u"Could not load functions");
            reason = "jvm.dll has no JNI_CreateJavaVM";
            if (observer) observer->candidate(javaExe, version, JavaVerdict::NotWorking, reason);
        } else {
            logMessage(u"Loading of JVM-DLL successful");
            if (observer) {
                std::string library(kBufferSize, '\0');
                library.resize(GetModuleFileNameA(handle, library.data(), DWORD(library.size())));
                observer->loaded(library, kind, location);
            }
            return true;
        }
    }
    // The message of the kind tried last; with nothing tried, that no JVM was found.
    LoadFailureMessage message = loadFailureMessage(kind);
    std::u16string argument;
    if (message.argument == LoadFailureMessage::Bitness) argument = kBitness;
    else if (message.argument == LoadFailureMessage::LocationText) argument = fromNarrowPath(location);
    const std::u16string* shown = message.argument == LoadFailureMessage::NoArgument ? nullptr : &argument;
    if (observer) observer->failed(message.id, shown, reason);
    else showConfiguredMessage(message.id, shown);
    return false;
}

}  // namespace wl
