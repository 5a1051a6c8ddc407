// The Win32 half of PATH handling: reads and sets the environment, registers
// library directories with the loader.
#include "base/environment.h"
#include "base/procaddress.h"
#include "base/text.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/store.h"
#include "diag/log.h"
#include "files/expand.h"
#include "files/pathenv.h"
#include "files/paths.h"

namespace wl {
namespace {

using AddDllDirectoryFunction = void*(WINAPI*)(PCWSTR);
using RemoveDllDirectoryFunction = BOOL(WINAPI*)(void*);

// PATH as the system holds it, empty when unset. Read wide, so that entries
// the code page cannot hold survive being written back.
std::u16string currentPath() { return environmentVariable(u"PATH").value_or(std::u16string()); }

}  // namespace

void reducePathToSystem() {
    if (getConfigInt(cfg::systemPathOnly) == 0) return;
    std::u16string path = currentPath();
    std::u16string windowsDir;
    if (path.empty() ||
        !readSystemString(windowsDir, [](wchar_t* b, DWORD n) { return GetWindowsDirectoryW(b, n); }) ||
        windowsDir.empty())
        return;
    logMessage(u"reducing PATH %d %d %s", int(windowsDir.size()), int(path.size() + 1), path.c_str());
    std::u16string reduced = reducePathValue(path, windowsDir);
    logMessage(u"reduced PATH %d to %s", int(reduced.size()), reduced.c_str());
    if (!reduced.empty() && !setEnvironmentEverywhere(u"PATH", reduced)) logMessage(u"ERROR setting path");
}

void prependNativeLibDirs() {
    std::string configured = getConfigString(cfg::nativeLibraryDirectories, kBufferSize);
    logMessage(u"native lib dir is %S", configured.c_str());
    expandVariablesNarrow(configured);

    std::u16string launcherDir = fromNarrowPath(launcherDirNarrow());
    std::vector<std::u16string> directories;
    for (const std::string& entry : splitList(configured)) {
        // Resolved against the narrow launcher directory, as a narrow path would be.
        std::u16string resolved = composeResolvedPath(fromNarrowPath(entry), launcherDir);
        directories.push_back(resolved);
        addDllDirectory(toNarrowPath(resolved));
    }
    std::u16string value = prependPathEntries(directories, currentPath());
    if (setEnvironmentEverywhere(u"PATH", value))
        logMessage(u"Setting PATH (native libs) %s", value.c_str());
    else
        logMessage(u"Setting PATH (native libs) %s failed with error %d", value.c_str(), int(GetLastError()));
}

void* addDllDirectory(const std::string& directory) {
    if (getConfigInt(cfg::useDllDirectories) == 0) return nullptr;
    auto add = lookupFunction<AddDllDirectoryFunction>(GetModuleHandleA("kernel32.dll"), "AddDllDirectory");
    if (!add) return nullptr;
    wchar_t wide[kBufferSize];
    UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    int n = MultiByteToWideChar(codePage, 0, directory.c_str(), -1, wide, kBufferSize);
    if (n <= 0) return nullptr;
    logMessage(u"Adding DLL directory %s", U(wide));
    return add(wide);
}

void removeDllDirectory(void* cookie) {
    if (!cookie) return;
    auto remove = lookupFunction<RemoveDllDirectoryFunction>(GetModuleHandleA("kernel32.dll"), "RemoveDllDirectory");
    if (!remove) return;
    logMessage(u"Removing DLL directory");
    remove(cookie);
}

}  // namespace wl
