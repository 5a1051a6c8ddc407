// The Win32 half of the packed-JRE preparation: finding the pack files and
// running the JRE's unpack200.exe on each missing jar, one at a time.
#include <vector>

#include "base/child_process.h"
#include "base/handle.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/messages.h"
#include "diag/console.h"
#include "diag/log.h"
#include "files/paths.h"
#include "unpack/pack200.h"

namespace wl {
namespace {

void unpackOne(const std::string& jreDirectory, const std::string& packPath) {
    std::string target = packTarget(packPath);
    if (!pathExists(packPath)) {
        logMessage(u"pack path doesn't exists");
        return;
    }
    std::string tool = jreDirectory + "\\bin\\unpack200.exe";
    std::string commandLine = unpackCommandLine(packPath, target);
    logMessage(u"%S", tool.c_str());
    logMessage(u"%S", commandLine.c_str());

    ChildProcess unpacker;
    if (!unpacker.start(commandLine, {.creationFlags = NORMAL_PRIORITY_CLASS, .hideWindow = true}, tool.c_str())) {
        logMessage(u"could not create unpack process");
        const std::u16string code = u"20";
        fatalConfiguredError(cfg::internalError, &code);
    }
    logMessage(u"waiting for unpack200 to finish");
    unpacker.wait(INFINITE);
    logMessage(u"unpack done");

    // The tool may have removed it already.
    if (!DeleteFileA(packPath.c_str())) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) logMessage(u"could not delete packed file (error %d)", int(error));
    }
}

void unpackDirectory(const std::string& jreDirectory, const char* subdirectory, bool& unpacked) {
    const std::string directory = jreDirectory + "\\" + subdirectory + "\\";
    // The names are gathered first: unpacking adds and removes files here.
    std::vector<std::string> packFiles;
    WIN32_FIND_DATAA entry;
    FindHandle find(FindFirstFileA((directory + "*.jar.pack").c_str(), &entry));
    if (!find) return;
    do {
        // The pattern may also match through a file's short name.
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && isPackFileName(entry.cFileName))
            packFiles.emplace_back(entry.cFileName);
    } while (FindNextFileA(find.get(), &entry));
    find.reset();

    for (const std::string& name : packFiles) {
        std::string jar = packTarget(directory + name);
        logMessage(u"checking %S", jar.c_str());
        if (pathExists(jar)) continue;
        if (!unpacked) {
            logMessage(u"Unpacking JRE");
            writeStdout(u"Preparing JRE ...\n");
            unpacked = true;
        }
        unpackOne(jreDirectory, jar + ".pack");
    }
}

}  // namespace

void preparePackedJre(const std::string& jreDirectory) {
    bool unpacked = false;
    for (const char* subdirectory : kPackedSubdirectories) unpackDirectory(jreDirectory, subdirectory, unpacked);
    if (unpacked) logMessage(u"Unpacking JRE done");
}

}  // namespace wl
