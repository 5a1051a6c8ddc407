#include "base/winapi.h"
#include "diag/console.h"
#include "diag/log.h"

namespace wl {
namespace {

std::string toConsoleBytes(const std::u16string& text) {
    std::u16string crlf;
    crlf.reserve(text.size() + 4);
    for (char16_t c : text) {
        if (c == u'\n') crlf.push_back(u'\r');
        crlf.push_back(c);
    }
    if (crlf.empty()) return {};
    int size = WideCharToMultiByte(CP_ACP, 0, W(crlf), int(crlf.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(std::size_t(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, W(crlf), int(crlf.size()), out.data(), size, nullptr, nullptr);
    return out;
}

void writeTo(DWORD which, const std::u16string& text) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (GetFileType(handle) == FILE_TYPE_CHAR) {
        DWORD mode;
        if (GetConsoleMode(handle, &mode)) {
            WriteConsoleW(handle, W(text), DWORD(text.size()), &written, nullptr);
            return;
        }
    }
    std::string bytes = toConsoleBytes(text);
    WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

BOOL WINAPI consoleEvent(DWORD) {
    logMessage(u"ConsoleCtrlHandler event");
    return TRUE;
}

}  // namespace

void writeStdout(const std::u16string& text) { writeTo(STD_OUTPUT_HANDLE, text); }
void writeStderr(const std::u16string& text) { writeTo(STD_ERROR_HANDLE, text); }

bool stdoutIsConsole() {
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR;
}

void registerConsoleHandler() {
    logMessage(u"registering ConsoleCtrlHandler");
    SetConsoleCtrlHandler(consoleEvent, TRUE);
}

}  // namespace wl
