// The one path by which the launcher's own texts reach the user, and the one
// way out of the process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace wl {

// --- Portable decisions ---

// Replaces the first "{0}" by the argument. Without an argument, or without a
// placeholder, the text stays as it is.
std::u16string substitutePlaceholder(const std::u16string& text, const std::u16string* argument);

// The text shown: with a log file, "<text>\n\nLog: <log>"; cut to fit the
// 6000-unit display buffer.
std::u16string composeDisplayText(const std::u16string& text, const std::u16string& logName);

// --- Windows side ---

// A message box when guiMessages is set; otherwise the console, or standard
// error with a line break when standard output is not a console.
void showMessage(const std::u16string& text);
// Message by id with its "{0}" argument.
void showConfiguredMessage(int32_t id, const std::u16string* argument = nullptr);
void showConfiguredMessage(int32_t id, const std::string& narrowArgument);

// Removes the per-run temporary directory and ends the process at once.
[[noreturn]] void exitLauncher(uint32_t exitCode);
[[noreturn]] void fatalError(const std::u16string& text);
[[noreturn]] void fatalConfiguredError(int32_t id, const std::u16string* argument = nullptr);
[[noreturn]] void fatalConfiguredError(int32_t id, const std::string& narrowArgument);

}  // namespace wl
