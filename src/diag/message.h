// The one way the launcher's own texts reach the user, and the one way out of
// the process. Which text and caption are shown is decided above, where the
// configured messages are (config/messages.h).
#pragma once

#include <cstdint>
#include <string>

namespace wl {

// --- Portable decisions ---

// The text shown: with a log file, "<text>\n\nLog: <log>"; cut to fit the
// 6000-unit display buffer.
std::u16string composeDisplayText(const std::u16string& text, const std::u16string& logName);

// --- Windows side ---

// Shows the text, with the log file's long name appended when there is a log:
// a message box with the caption when guiMessages is set; otherwise the
// console, or standard error with a line break when standard output is not a
// console.
void displayMessage(const std::u16string& text, const std::u16string& caption);

// Registers what has to be undone when the launcher gives up, such as the
// per-run temporary directory; exitLauncher runs each action once, in the
// order of registration. Registering an action again changes nothing.
void atLauncherExit(void (*action)());

// Runs the registered actions and ends the process at once with the code.
[[noreturn]] void exitLauncher(uint32_t exitCode);

}  // namespace wl
