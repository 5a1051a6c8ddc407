#include "base/procaddress.h"
#include "base/process_state.h"
#include "base/text.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/store.h"
#include "diag/console.h"
#include "diag/log.h"
#include "diag/message.h"
#include "files/tempdir.h"

namespace wl {

void showMessage(const std::u16string& text) {
    std::u16string logName = logFileName();
    if (!logName.empty()) {
        std::u16string longName;
        if (readSystemString(longName, [&](wchar_t* b, DWORD n) { return GetLongPathNameW(W(logName), b, n); }))
            logName = longName;
    }
    std::u16string display = composeDisplayText(text, logName);

    if (guiMessages) {
        std::u16string caption = lookupMessage(cfg::errorCaption);
        // A message box that cannot be shown is ignored, like one that fails.
        if (auto box = lookupFunction<decltype(&MessageBoxW)>(user32Module(), "MessageBoxW"))
            box(nullptr, W(display), W(caption), MB_OK | MB_ICONERROR);
    } else if (stdoutIsConsole()) {
        writeStdout(display);
    } else {
        writeStderr(display + u"\n");
    }
}

void showConfiguredMessage(int32_t id, const std::u16string* argument) {
    showMessage(substitutePlaceholder(lookupMessage(id), argument));
}

void showConfiguredMessage(int32_t id, const std::string& narrowArgument) {
    std::u16string wide = fitToCapacity(widenBytes(narrowArgument), kBufferSize);
    showConfiguredMessage(id, &wide);
}

void exitLauncher(uint32_t exitCode) {
    removeLauncherTempDir();
    ExitProcess(exitCode);
}

void fatalError(const std::u16string& text) {
    showMessage(text);
    exitLauncher(1);
}

void fatalConfiguredError(int32_t id, const std::u16string* argument) {
    showConfiguredMessage(id, argument);
    exitLauncher(1);
}

void fatalConfiguredError(int32_t id, const std::string& narrowArgument) {
    showConfiguredMessage(id, narrowArgument);
    exitLauncher(1);
}

}  // namespace wl
