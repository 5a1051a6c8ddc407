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

}  // namespace wl
