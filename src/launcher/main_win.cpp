// The entry point: initialise, split the command line, and pick the role.
#include "base/environment.h"
#include "base/format.h"
#include "base/process_state.h"
#include "base/text.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/messages.h"
#include "config/reader.h"
#include "config/store.h"
#include "diag/console.h"
#include "diag/log.h"
#include "diag/message.h"
#include "files/executable.h"
#include "files/expand.h"
#include "files/extract.h"
#include "files/pathenv.h"
#include "files/paths.h"
#include "files/tempdir.h"
#include "instance/instance.h"
#include "jre/jvm.h"
#include "jvm/launch_thread.h"
#include "launcher/cmdline.h"
#include "launcher/launcher.h"
#include "service/service.h"
#include "unpack/pack200.h"

namespace wl {
namespace {

// The file name of the executable without directory and extension.
std::u16string executableBaseName() {
    std::u16string module = fitToCapacity(moduleFileNameWide(), kBufferSize);
    std::size_t slash = module.find_last_of(u"\\/");
    std::u16string name = slash == std::u16string::npos ? module : module.substr(slash + 1);
    std::size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string::npos) name.resize(dot);
    return name;
}

// The configured working directory, variables expanded, relative to the
// launcher directory. A directory that cannot be entered is not an error.
void changeWorkingDirectory() {
    std::u16string directory = getConfigWide(cfg::workingDirectory, kBufferSize);
    if (directory.empty()) {
        logMessage(u"working directory unchanged");
        return;
    }
    expandVariables(directory, true);
    directory = fullPath(directory, true, true);
    SetCurrentDirectoryW(W(directory));
    logMessage(u"change working directory to %s", directory.c_str());
}

int run() {
    isServiceProcess = true;
    initLauncher();
    serviceName = getConfigWide(cfg::configuredServiceName, kBufferSize);

    const char16_t* commandLine = U(GetCommandLineW());
    logMessage(u"command line %s", commandLine);
    std::vector<std::u16string> arguments;
    splitCommandLine(commandLine, arguments);
    std::u16string programPath;
    if (!arguments.empty()) {
        programPath = arguments.front();
        arguments.erase(arguments.begin());
    }

    Dispatch dispatch = classifyArguments(std::move(arguments));
    if (dispatch.role == Role::Worker) {
        launchApplication(std::move(dispatch.arguments), true);
        return 0;
    }
    if (dispatch.role == Role::Command) {
        if (!dispatch.arguments.empty()) serviceName = fitToCapacity(dispatch.arguments.front(), kBufferSize);
        const std::u16string& command = dispatch.command;
        if (command == u"?" || command == u"help") {
            writeStdout(formatWide(u"Usage: %s.exe /install | /uninstall | /stop | /start | /status | /run | "
                                   u"/run-redirect\n",
                                   executableBaseName().c_str()));
            return 0;
        }
        if (command == u"diagnose") return diagnoseLaunch(programPath, std::move(dispatch.arguments));
        bool handled = false;
        int result = runServiceCommand(command, dispatch.arguments, handled);
        if (handled) return result;
        if (command == u"run" || command == u"run-redirect") {
            if (command == u"run") {
                logMessage(u"running service");
                runInConsole = true;
            } else {
                logMessage(u"running service with redirection");
            }
            isServiceProcess = false;
            dispatch.arguments.insert(dispatch.arguments.begin(), programPath);
            launchApplication(std::move(dispatch.arguments), false);
            return 0;
        }
    }
    runServiceDispatcher();
    return 0;
}

}  // namespace

void initLauncher() {
    setLogFileNamer(newLogFileName);
    launcherTempDir.clear();
    {
        FileHandle executable = openOwnExecutable();
        FileSource source(executable.get());
        readConfigBlock(source);
    }
    flavourCode = getConfigString(cfg::flavour, 2).c_str()[0];
    reducePathToSystem();
    if (getConfigInt(cfg::ignoreJavaOptionVariables) != 0) {
        logMessage(u"ignoring java options environment variables");
        for (const char16_t* name : {u"_JAVA_OPTIONS", u"JDK_JAVA_OPTIONS", u"JAVA_TOOL_OPTIONS"})
            setEnvironmentEverywhere(name, std::nullopt);
    }
    changeWorkingDirectory();
}

void launchApplication(std::vector<std::u16string> arguments, bool registerConsoleHandler) {
    if (extractIncludedFiles() != 0) fatalConfiguredError(cfg::internalError, std::string("16"));
    prependNativeLibDirs();
    if (registerConsoleHandler) wl::registerConsoleHandler();
    enforceSingleInstance();
    // A runtime is found and its jvm.dll loaded; a failure has been shown.
    if (!LoadDLL(preparePackedJre)) exitLauncher(1);
    if (startLaunchThread(arguments)) return;
    exitLauncher(1);
}

}  // namespace wl

int main() { return wl::run(); }
