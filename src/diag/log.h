// The diagnostic log. Off unless VENNIC_LOG or QUARLO_LOG is "yes"; then the
// first call creates a numbered UTF-8 file in the temporary directory and every
// call appends one line "[seconds:millis] text". The file is closed after each
// line so that it is complete whatever happens to the process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace wl {

// Formats with the wide conventions of base/format.h and writes one line.
// Never fails towards the caller.
void logMessage(const char16_t* format, ...);
// The same with "ERROR: " in front of the text.
void logError(const char16_t* format, ...);
// The log file name, or empty when logging is off or nothing was logged yet.
std::u16string logFileName();
// Names a new log file: the file layer above knows the temporary directory
// (files/tempdir.h, newLogFileName). Asked once, when the first line finds
// logging on; the launcher sets it before anything is logged. Without it the
// log is "c:\qar_nlog_1.log".
void setLogFileNamer(std::u16string (*namer)());

// --- Decisions, kept apart from the file system so they can be tested. ---

// Logging is on when either variable's value (cut to 5999 bytes) is exactly "yes".
bool logSwitchedOn(const char* vennicValue, const char* quarloValue);

// The directory part of the log name: a backslash is added unless the
// directory ends in one or in a forward slash; an empty directory is "c:\".
std::u16string logDirectoryPrefix(const std::u16string& tempDir);

// The first of prefix + "qar_nlog_<n>.log", n = 1 ... 1000, that does not
// exist; number 1000 is taken even when it exists.
std::u16string chooseLogFileName(const std::u16string& prefix,
                                 const std::function<bool(const std::u16string&)>& exists);

// Milliseconds between the two counts, on their low 32 bits with signed
// 32-bit arithmetic.
int32_t elapsedMillis(uint64_t startMillis, uint64_t nowMillis);

// "[<seconds>:<millis>] ", plain decimals.
std::u16string logLinePrefix(int32_t elapsed);

// The bytes of a text as written to the log: UTF-8 with LF turned into CR LF.
std::string logFileBytes(const std::u16string& text);

// The 24-character local time of the header, "Tue Dec 08 06:06:53 2026".
std::u16string headerTime(int weekday, int month, int day, int hour, int minute, int second, int year);

// Writes one complete text line (prefix and "ERROR: " are added by the
// platform side). Implemented once per platform.
void writeLogLine(bool isError, const std::u16string& text);

// False once the first line has found logging off: from then on a line is
// not even formatted. True before that decision, which the next line makes.
// Implemented once per platform.
bool logLineWanted();

}  // namespace wl
