// A Windows service for the tests of the service control commands. Installed
// with "sc create" under any name, it records how it was started and stops as
// the mode file next to it says. Files beside the executable, named after it
// (svc.exe: svc.mode, svc.args, ...):
//
//   .mode    read at start, one line (absent: "stop"):
//              stop                   stops as soon as it is asked to
//              linger <hint> <millis> on a stop request reports stop-pending
//                                     with wait hint <hint> and check point 1,
//                                     never advanced, for <millis>, then stops
//              refuse                 accepts no stop control at all
//   .args    written at start: the service name and each start argument, one
//            per line, UTF-8
//   .events  one line per event: "running", "stop requested", "stopped"
//   .quit    made by a test to end the service whatever its mode
#include "base/winapi.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

enum class Mode { Stop, Linger, Refuse };

Mode mode = Mode::Stop;
DWORD lingerHint = 1000;
DWORD lingerMillis = 5000;
std::wstring base;  // the executable's path without ".exe"
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopRequested = nullptr;

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string readFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    char buffer[256];
    DWORD got = 0;
    ReadFile(file, buffer, sizeof buffer - 1, &got, nullptr);
    CloseHandle(file);
    return std::string(buffer, got);
}

// Writes the whole file under a temporary name first, so that a test never
// reads it half written.
void writeFile(const std::wstring& path, const std::string& bytes) {
    std::wstring temporary = path + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void event(const char* what) {
    HANDLE file = CreateFileW((base + L".events").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string line = std::string(what) + "\n";
    DWORD written = 0;
    WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
    CloseHandle(file);
}

bool quitRequested() { return GetFileAttributesW((base + L".quit").c_str()) != INVALID_FILE_ATTRIBUTES; }

void readMode() {
    std::string text = readFile(base + L".mode");
    char word[32] = {};
    unsigned hint = 0, millis = 0;
    int fields = std::sscanf(text.c_str(), "%31s %u %u", word, &hint, &millis);
    std::string name = fields >= 1 ? word : "stop";
    if (name == "linger") {
        mode = Mode::Linger;
        if (fields >= 2) lingerHint = hint;
        if (fields >= 3) lingerMillis = millis;
    } else if (name == "refuse") {
        mode = Mode::Refuse;
    }
}

void report(DWORD state, DWORD checkPoint = 0, DWORD waitHint = 0) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = (state == SERVICE_RUNNING && mode != Mode::Refuse) ? SERVICE_ACCEPT_STOP : 0;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = waitHint;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI handler(DWORD control, DWORD, LPVOID, LPVOID) {
    if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
    if (control != SERVICE_CONTROL_STOP || mode == Mode::Refuse) return ERROR_CALL_NOT_IMPLEMENTED;
    event("stop requested");
    // The pending state is reported before the control returns, so the
    // stopping side never sees the service still running.
    report(SERVICE_STOP_PENDING, 1, mode == Mode::Linger ? lingerHint : 5000);
    SetEvent(stopRequested);
    return NO_ERROR;
}

// Waits for the event, or for the quit file; false when the time ran out.
bool waitFor(HANDLE what, DWORD millis) {
    DWORD start = GetTickCount();
    while (!quitRequested()) {
        if (what && WaitForSingleObject(what, 100) == WAIT_OBJECT_0) return true;
        if (!what) Sleep(100);
        if (GetTickCount() - start >= millis) return false;
    }
    return true;
}

void WINAPI serviceMain(DWORD argc, LPWSTR* argv) {
    statusHandle = RegisterServiceCtrlHandlerExW(argc > 0 ? argv[0] : L"", handler, nullptr);
    if (!statusHandle) return;
    std::string arguments;
    for (DWORD i = 0; i < argc; ++i) arguments += utf8(argv[i]) + "\n";
    writeFile(base + L".args", arguments);
    report(SERVICE_RUNNING);
    event("running");

    waitFor(stopRequested, INFINITE);
    if (mode == Mode::Linger) waitFor(nullptr, lingerMillis);
    event("stopped");
    report(SERVICE_STOPPED);
}

}  // namespace

int main() {
    wchar_t path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(nullptr, path, DWORD(sizeof path / sizeof path[0]));
    base.assign(path, length);
    if (base.size() > 4) base.resize(base.size() - 4);
    readMode();
    stopRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    // An own-process service: the name in the table is not looked at.
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) return int(GetLastError());
    return 0;
}
