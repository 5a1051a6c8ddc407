// Text for the standard streams, as the C runtime's formatted output would
// write it: wide text on a console, code-page bytes with CR LF line ends when
// the stream is a file or a pipe. Windows only.
#pragma once

#include <string>

namespace wl {

void writeStdout(const std::u16string& text);
void writeStderr(const std::u16string& text);

// True when the handle of standard output is a character device.
bool stdoutIsConsole();

// Logs "registering ConsoleCtrlHandler" and registers a handler that only logs
// console events (Ctrl+C, closing the window, logoff) and reports them handled,
// so that the default handling does not end the process: the application, or
// the service process, ends it itself.
void registerConsoleHandler();

}  // namespace wl
