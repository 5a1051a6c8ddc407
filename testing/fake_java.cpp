// A stand-in for a Java runtime's java.exe (copied as javaw.exe where needed).
//
// Beside it, fake-java.cfg may hold lines "key=value":
//   line=<text>   the first line printed on standard error (default:
//                 openjdk version "17.0.2" 2022-01-18); "line=" prints none
//   exit=<n>      the exit code (default 0)
//   hang=1        never ends (the caller has to terminate it)
//   sleep=<ms>    waits that long before it answers
// Like a real JVM it first prints a notice for each Java option variable it
// sees. Every start appends one line to fake-java.record beside it: the file
// name, then NAME=value or just NAME (unset) for _JAVA_OPTIONS,
// JAVA_TOOL_OPTIONS, JDK_JAVA_OPTIONS and PATH, then the command line,
// separated by tabs, in UTF-8.
#include <windows.h>

#include "text.h"

#include <cstdlib>
#include <string>

namespace {

using testing_text::utf8;

std::wstring ownPath() {
    wchar_t buffer[32768];
    DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
    return std::wstring(buffer, n);
}

bool variable(const wchar_t* name, std::wstring& value) {
    wchar_t buffer[32768];
    SetLastError(0);
    DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
    if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    value.assign(buffer, n);
    return true;
}

std::string readFile(const std::wstring& name) {
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string data(65536, '\0');
    DWORD got = 0;
    ReadFile(file, data.data(), DWORD(data.size()), &got, nullptr);
    CloseHandle(file);
    data.resize(got);
    return data;
}

void append(const std::wstring& name, const std::string& text) {
    HANDLE file = CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

void printError(const std::string& text) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(err, text.data(), DWORD(text.size()), &written, nullptr);
}

}  // namespace

int main() {
    std::wstring self = ownPath();
    size_t slash = self.find_last_of(L'\\');
    std::wstring dir = self.substr(0, slash + 1);

    std::string firstLine = "openjdk version \"17.0.2\" 2022-01-18";
    int exitCode = 0;
    bool hang = false;
    DWORD sleepMs = 0;
    std::string config = readFile(dir + L"fake-java.cfg");
    size_t at = 0;
    while (at < config.size()) {
        size_t end = config.find('\n', at);
        if (end == std::string::npos) end = config.size();
        std::string entry = config.substr(at, end - at);
        if (!entry.empty() && entry.back() == '\r') entry.pop_back();
        at = end + 1;
        size_t eq = entry.find('=');
        if (eq == std::string::npos) continue;
        std::string key = entry.substr(0, eq), value = entry.substr(eq + 1);
        if (key == "line") firstLine = value;
        else if (key == "exit") exitCode = atoi(value.c_str());
        else if (key == "hang") hang = value == "1";
        else if (key == "sleep") sleepMs = DWORD(std::strtoul(value.c_str(), nullptr, 10));
    }

    static const wchar_t* const names[] = {L"_JAVA_OPTIONS", L"JAVA_TOOL_OPTIONS", L"JDK_JAVA_OPTIONS"};
    std::string record = utf8(self.substr(slash + 1));
    std::string notices;
    for (const wchar_t* name : names) {
        std::wstring value;
        record += "\t" + utf8(name);
        if (!variable(name, value)) continue;
        record += "=" + utf8(value);
        bool launcherOnly = std::wstring(name) == L"JDK_JAVA_OPTIONS";
        notices += (launcherOnly ? "NOTE: Picked up " : "Picked up ") + utf8(name) + ": " + utf8(value) + "\n";
    }
    std::wstring path;
    record += variable(L"PATH", path) ? "\tPATH=" + utf8(path) : "\tPATH";
    record += "\t" + utf8(GetCommandLineW()) + "\n";
    append(dir + L"fake-java.record", record);

    if (hang) Sleep(INFINITE);
    Sleep(sleepMs);
    printError(notices);
    if (!firstLine.empty()) printError(firstLine + "\n");
    printError("OpenJDK Runtime Environment (stand-in)\n");
    return exitCode;
}
