#include <array>

#include "base/procaddress.h"
#include "base/process_state.h"
#include "base/winapi.h"
#include "diag/console.h"
#include "diag/log.h"
#include "diag/message.h"

namespace wl {
namespace {

// Fixed room, so that nothing is allocated on the way out.
std::array<void (*)(), 4> exitActions{};
std::size_t exitActionCount = 0;

}  // namespace

void displayMessage(const std::u16string& text, const std::u16string& caption) {
    std::u16string logName = logFileName();
    if (!logName.empty()) {
        std::u16string longName;
        if (readSystemString(longName, [&](wchar_t* b, DWORD n) { return GetLongPathNameW(W(logName), b, n); }))
            logName = longName;
    }
    std::u16string display = composeDisplayText(text, logName);

    if (guiMessages) {
        // A message box that cannot be shown is ignored, like one that fails.
        if (auto box = lookupFunction<decltype(&MessageBoxW)>(user32Module(), "MessageBoxW"))
            box(nullptr, W(display), W(caption), MB_OK | MB_ICONERROR);
    } else if (stdoutIsConsole()) {
        writeStdout(display);
    } else {
        writeStderr(display + u"\n");
    }
}

void atLauncherExit(void (*action)()) {
    for (std::size_t i = 0; i < exitActionCount; ++i)
        if (exitActions[i] == action) return;
    if (exitActionCount < exitActions.size()) exitActions[exitActionCount++] = action;
}

void exitLauncher(uint32_t exitCode) {
    for (std::size_t i = 0; i < exitActionCount; ++i) exitActions[i]();
    ExitProcess(exitCode);
}

}  // namespace wl
