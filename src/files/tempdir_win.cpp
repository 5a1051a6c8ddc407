#include "base/handle.h"
#include "base/winapi.h"
#include "diag/log.h"
#include "files/tempdir.h"
#include "launcher/process_state.h"

namespace wl {
namespace {

std::string withBackslash(const std::string& path) {
    return (!path.empty() && path.back() == '\\') ? path : path + "\\";
}

}  // namespace

void emptyDirectory(const std::string& path, bool recurse) {
    if (path.empty() || path[0] == '.') return;
    logMessage(u"emptying %S", path.c_str());
    std::string base = withBackslash(path);
    WIN32_FIND_DATAA entry;
    FindHandle find(FindFirstFileA((base + "*.*").c_str(), &entry));
    if (!find) return;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        std::string full = base + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            logMessage(u"attempting to remove %S (%d)", full.c_str(), recurse ? 1 : 0);
            if (recurse) emptyDirectory(full, false);
            RemoveDirectoryA(full.c_str());
        } else {
            logMessage(u"attempting to delete %S", full.c_str());
            DeleteFileA(full.c_str());
        }
    } while (FindNextFileA(find.get(), &entry));
}

void removeLauncherTempDir() {
    if (launcherTempDir.empty()) return;
    emptyDirectory(launcherTempDir, true);
    RemoveDirectoryA(launcherTempDir.c_str());
}

}  // namespace wl
