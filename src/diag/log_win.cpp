// The Win32 half of the log: the decision on the first call, the file, the lock.
#include "base/environment.h"
#include "base/format.h"
#include "base/handle.h"
#include "base/winapi.h"
#include "diag/log.h"

namespace wl {
namespace {

struct LogState {
    CRITICAL_SECTION lock;
    bool lockReady = false;
    bool decided = false;
    std::u16string fileName;  // empty: logging is off
    uint64_t startMillis = 0;
    std::u16string (*namer)() = nullptr;
};

LogState logState;

uint64_t nowMillis() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) / 10000;
}

bool writeAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

// Creates (truncating) the file and writes the byte-order mark.
FileHandle createLogFile(const std::u16string& name) {
    FileHandle file(CreateFileW(W(name), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) writeAll(file.get(), "\xEF\xBB\xBF");
    return file;
}

FileHandle openForAppend(const std::u16string& name) {
    FileHandle file(CreateFileW(W(name), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        LARGE_INTEGER size{};
        // A file that had vanished starts again with its byte-order mark.
        if (GetFileSizeEx(file.get(), &size) && size.QuadPart == 0) writeAll(file.get(), "\xEF\xBB\xBF");
    }
    return file;
}

// The first call decides whether there is a log, and creates it.
FileHandle decide() {
    logState.decided = true;
    if (!logSwitchedOn(environmentVariable("VENNIC_LOG").value_or("").c_str(),
                       environmentVariable("QUARLO_LOG").value_or("").c_str()))
        return FileHandle();

    logState.fileName = logState.namer ? logState.namer() : logDirectoryPrefix(u"") + u"qar_nlog_1.log";

    FileHandle file = createLogFile(logState.fileName);
    if (!file) {
        logState.fileName = u"c:\\qar_nlog";
        file = createLogFile(logState.fileName);
        if (!file) return file;
    }

    std::u16string module = moduleFileNameWide();
    SYSTEMTIME t;
    GetLocalTime(&t);
    std::u16string when = headerTime(t.wDayOfWeek, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wYear);
    writeAll(file.get(), logFileBytes(formatWide(u"Started executable %s at %s\n\n", module.c_str(), when.c_str())));
    FlushFileBuffers(file.get());
    logState.startMillis = nowMillis();
    return file;
}

}  // namespace

void writeLogLine(bool isError, const std::u16string& text) {
    if (!logState.lockReady) {
        // The first log call happens on the main thread before any other
        // thread exists, so creating the lock here is safe.
        InitializeCriticalSection(&logState.lock);
        logState.lockReady = true;
    }
    EnterCriticalSection(&logState.lock);
    FileHandle file;
    if (!logState.fileName.empty()) file = openForAppend(logState.fileName);
    if (!logState.decided) file = decide();
    if (file) {
        std::u16string line = logLinePrefix(elapsedMillis(logState.startMillis, nowMillis()));
        if (isError) line += u"ERROR: ";
        line += text;
        line += u"\n";
        writeAll(file.get(), logFileBytes(line));
    }
    LeaveCriticalSection(&logState.lock);
}

std::u16string logFileName() { return logState.fileName; }

// Read without the lock: the first line decides on the main thread before any
// other thread exists, and neither value changes after that.
bool logLineWanted() { return !logState.decided || !logState.fileName.empty(); }

void setLogFileNamer(std::u16string (*namer)()) { logState.namer = namer; }

}  // namespace wl
