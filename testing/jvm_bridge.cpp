// The bridge's relay to the host's java: see jvm_bridge.h.
#include "jvm_bridge.h"

#include <windows.h>

#include "text.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace bridge {
namespace {

constexpr DWORD kPollMillis = 20;
constexpr DWORD kHeartbeatMillis = 500;
constexpr DWORD kChunk = 65536;

using testing_text::utf8;

std::wstring wide(const std::string& text) {
    std::u16string wide = testing_text::widen(text);
    return std::wstring(wide.begin(), wide.end());
}

// --- Wine's path translation ---

template <class Function>
Function wineExport(const char* name) {
    FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

std::string unixName(const std::wstring& windowsPath) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    static auto toUnix = wineExport<ToUnix>("wine_get_unix_file_name");
    if (!toUnix) return {};
    char* name = toUnix(windowsPath.c_str());
    if (!name) return {};
    std::string out(name);
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

std::wstring dosName(const char* unixPath) {
    using ToDos = WCHAR*(CDECL*)(LPCSTR);
    static auto toDos = wineExport<ToDos>("wine_get_dos_file_name");
    if (!toDos) return {};
    WCHAR* name = toDos(unixPath);
    if (!name) return {};
    std::wstring out(name);
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

bool isWindowsPath(const std::u16string& text) {
    return (text.size() >= 3 && ((text[0] | 0x20) >= u'a' && (text[0] | 0x20) <= u'z') && text[1] == u':' &&
            (text[2] == u'\\' || text[2] == u'/')) ||
           text.starts_with(u"\\\\");
}

// The items of a ";"-separated list when every one of them is an absolute
// Windows path; nothing otherwise.
std::vector<std::u16string> windowsPathList(const std::u16string& value) {
    std::vector<std::u16string> items;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(u';', start);
        if (end == std::u16string::npos) end = value.size();
        if (end > start) items.push_back(value.substr(start, end - start));
        start = end + 1;
    }
    for (const std::u16string& item : items)
        if (!isWindowsPath(item)) return {};
    return items;
}

// A Windows path as Wine names it on Unix, or the value as it is when it is
// not one. Wine names a path on a drive other than Z: through the drive's
// link in the prefix's dosdevices directory ("c:"): fine for one path, but
// not inside a Java path list, which ArgumentLine takes care of.
std::u16string translatePath(const std::u16string& value) {
    if (!isWindowsPath(value)) return value;
    std::string unix = unixName(std::wstring(value.begin(), value.end()));
    return unix.empty() ? value : testing_text::widen(unix);
}

// One line of the java argument file, written by the wrapper through a
// here-document so that the drive links are resolved first: the text is
// quoted for the argument file and escaped for the shell, and each drive's
// resolved root is the shell variable wlroot_<letter>.
class ArgumentLine {
public:
    ArgumentLine& literal(const std::string& text) {
        for (char c : text) {
            if (c == '\\' || c == '"') add('\\');
            add(c);
        }
        return *this;
    }

    // A list of Windows paths as ":"-separated Unix paths; the drives whose
    // root the wrapper must resolve are added to drives.
    ArgumentLine& pathList(const std::vector<std::u16string>& items, std::string& drives) {
        for (size_t i = 0; i < items.size(); ++i) {
            if (i) literal(":");
            std::wstring path(items[i].begin(), items[i].end());
            std::string unix = unixName(path);
            std::string root = path[1] == L':' ? unixName(path.substr(0, 2) + L"\\") : std::string();
            if (root.find("/dosdevices/") != std::string::npos && unix.starts_with(root)) {
                char drive = char(path[0] | 0x20);
                if (drives.find(drive) == std::string::npos) drives += drive;
                line_ += std::string("${wlroot_") + drive + "}/";
                unix.erase(0, root.size());
            }
            literal(unix);
        }
        return *this;
    }

    std::string text() const { return "\"" + line_ + "\"\n"; }

private:
    void add(char c) {
        if (c == '\\' || c == '$' || c == '`') line_ += '\\';
        line_ += c;
    }
    std::string line_;
};

// "-Dkey=value", "--option=value" and "-Xbootclasspath/a:value", the value
// translated when it is a list of Windows paths; any other text as it is.
std::string optionLine(const std::string& option, std::string& drives) {
    size_t at = option.starts_with("-D") || option.starts_with("--") ? option.find('=') : std::string::npos;
    if (option.starts_with("-Xbootclasspath/")) at = option.find(':');
    std::vector<std::u16string> items;
    if (at != std::string::npos) items = windowsPathList(testing_text::widen(option.substr(at + 1)));
    ArgumentLine line;
    if (items.empty()) return line.literal(option).text();
    return line.literal(option.substr(0, at + 1)).pathList(items, drives).text();
}

// --- Files ---

bool writeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return ok;
}

bool readFile(const std::wstring& path, std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes.clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return true;
}

std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// --- The relay ---

struct Relay {
    std::wstring dir;  // with a trailing backslash
    CRITICAL_SECTION lock;
    bool finished = false;  // the directory is being removed: nothing more is written
    HANDLE stopRelay = nullptr;
    HANDLE relayThread = nullptr;
    HANDLE outputs[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};  // the child's stdout and stderr files
} relay;

bool relayStarted = false;

std::wstring at(const wchar_t* name) { return relay.dir + name; }

void touchHeartbeat() {
    EnterCriticalSection(&relay.lock);
    if (!relay.finished) {
        HANDLE file = CreateFileW(at(L"heartbeat").c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            FILETIME now;
            GetSystemTimeAsFileTime(&now);
            SetFileTime(file, nullptr, nullptr, &now);
            CloseHandle(file);
        }
    }
    LeaveCriticalSection(&relay.lock);
}

// Copies what the child has added to its output files to our own handles.
void copyOutput() {
    static const wchar_t* names[2] = {L"stdout", L"stderr"};
    static const DWORD targets[2] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int i = 0; i < 2; ++i) {
        if (relay.outputs[i] == INVALID_HANDLE_VALUE) {
            relay.outputs[i] = CreateFileW(at(names[i]).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (relay.outputs[i] == INVALID_HANDLE_VALUE) continue;
        }
        static char buffer[kChunk];
        DWORD got = 0;
        while (ReadFile(relay.outputs[i], buffer, kChunk, &got, nullptr) && got > 0) {
            HANDLE target = GetStdHandle(targets[i]);
            DWORD written = 0;
            if (target && target != INVALID_HANDLE_VALUE) WriteFile(target, buffer, got, &written, nullptr);
        }
    }
}

DWORD WINAPI relayOutput(LPVOID) {
    DWORD sinceHeartbeat = 0;
    while (WaitForSingleObject(relay.stopRelay, kPollMillis) == WAIT_TIMEOUT) {
        copyOutput();
        sinceHeartbeat += kPollMillis;
        if (sinceHeartbeat >= kHeartbeatMillis) {
            touchHeartbeat();
            sinceHeartbeat = 0;
        }
    }
    copyOutput();
    for (HANDLE& output : relay.outputs) {
        if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
        output = INVALID_HANDLE_VALUE;
    }
    return 0;
}

// Appends what arrives on our standard input to the stdin file, and marks its
// end. The file is opened for each piece, so that no handle stays open while
// the read waits.
void appendInput(const wchar_t* name, const char* bytes, DWORD size) {
    EnterCriticalSection(&relay.lock);
    if (!relay.finished) {
        HANDLE file = CreateFileW(at(name).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            if (size) WriteFile(file, bytes, size, &written, nullptr);
            CloseHandle(file);
        }
    }
    LeaveCriticalSection(&relay.lock);
}

DWORD WINAPI relayInput(LPVOID) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    static char buffer[4096];
    DWORD got = 0;
    while (input && input != INVALID_HANDLE_VALUE && ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0)
        appendInput(L"stdin", buffer, got);
    appendInput(L"stdin.end", nullptr, 0);
    return 0;
}

// Deletes the relay directory with everything in it. The bridge and the
// wrapper may both set out to do so; the one that renames it first does.
void deleteRelayFiles() {
    std::wstring dir = relay.dir.substr(0, relay.dir.size() - 1);
    std::wstring gone = dir + L".gone\\";
    if (!MoveFileExW(dir.c_str(), gone.substr(0, gone.size() - 1).c_str(), 0)) return;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((gone + L"*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((gone + entry.cFileName).c_str());
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    gone.pop_back();
    RemoveDirectoryW(gone.c_str());
}

void removeRelayDirectory() {
    EnterCriticalSection(&relay.lock);
    relay.finished = true;
    LeaveCriticalSection(&relay.lock);
    deleteRelayFiles();
}

// The exit status of the host's JVM, once the wrapper has written it.
bool readStatus(int& status) {
    std::string text;
    if (!readFile(at(L"status"), text) || text.empty()) return false;
    status = std::atoi(text.c_str());
    return true;
}

// The JVM has ended: the rest of its output is copied and the directory removed.
void finish() {
    SetEvent(relay.stopRelay);
    WaitForSingleObject(relay.relayThread, INFINITE);
    removeRelayDirectory();
}

[[noreturn]] void endProcess(int status) {
    finish();
    ExitProcess(UINT(status));
}

bool fail(std::string& thrown, const std::string& text) {
    thrown = "java.lang.InternalError: bridge: " + text;
    return false;
}

}  // namespace

bool runMain(const MainCall& call, std::string& thrown) {
    InitializeCriticalSection(&relay.lock);
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return fail(thrown, "no temporary directory");
    relay.dir = std::wstring(temp, n) + L"wlbridge-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount()) + L"\\";
    if (!CreateDirectoryW(relay.dir.c_str(), nullptr)) return fail(thrown, "cannot create " + utf8(relay.dir));
    std::string unixDir = unixName(relay.dir.substr(0, relay.dir.size() - 1));
    std::wstring shell = dosName("/bin/sh");
    if (unixDir.empty() || shell.empty()) {
        RemoveDirectoryW(relay.dir.c_str());
        return fail(thrown, "Wine's path translation is missing");
    }

    std::string java = "java";
    std::string config;
    if (readFile(call.ownDirectory + L"bridge.cfg", config)) {
        size_t at = config.find("java=");
        if (at != std::string::npos) java = config.substr(at + 5, config.find_first_of("\r\n", at) - at - 5);
    }

    // The launcher's options, the bridge's half on the boot class path (the
    // application's class path stays as the launcher made it), the bridge's
    // main class and its relay directory.
    std::string drives, arguments;
    if (call.ignoreUnrecognized) arguments += optionLine("-XX:+IgnoreUnrecognizedVMOptions", drives);
    arguments += optionLine("-Xbootclasspath/a:" + utf8(call.ownDirectory) + "bridge.jar", drives);
    for (const std::string& option : call.options) arguments += optionLine(option, drives);
    arguments += optionLine("winlaunch.bridge.BridgeMain", drives);
    arguments += optionLine(unixDir, drives);

    std::string main = call.launcherClass + '\0' + std::to_string(call.properties.size()) + '\0';
    for (const auto& [key, value] : call.properties) main += utf8(key) + '\0' + utf8(translatePath(value)) + '\0';
    for (size_t i = 0; i < call.arguments.size(); ++i) {
        // The redirection files are the third and fourth argument.
        main += utf8(i == 2 || i == 3 ? translatePath(call.arguments[i]) : call.arguments[i]) + '\0';
    }

    std::string script = "d=" + shellQuoted(unixDir) + "\n";
    for (char drive : drives) {
        std::string root = unixName(std::wstring(1, wchar_t(drive)) + L":\\");
        script += std::string("wlroot_") + drive + "=$(cd " + shellQuoted(root) + " && pwd -P)\n";
    }
    script += "cat >\"$d/java.args\" <<WINLAUNCH_BRIDGE_END\n" + arguments + "WINLAUNCH_BRIDGE_END\n";
    script += shellQuoted(java) + " \"@$d/java.args\" </dev/null >\"$d/stdout\" 2>\"$d/stderr\"\n"
              "echo $? >\"$d/status.new\" && mv \"$d/status.new\" \"$d/status\"\n"
              "[ -e \"$d/heartbeat\" ] || { mv -T \"$d\" \"$d.gone\" 2>/dev/null && rm -rf \"$d.gone\"; }\n";
    if (!writeFile(at(L"main.txt"), main) ||
        !writeFile(at(L"run.sh"), script) || !writeFile(at(L"stdin"), "")) {
        removeRelayDirectory();
        return fail(thrown, "cannot write to " + utf8(relay.dir));
    }
    touchHeartbeat();

    std::wstring commandLine = L"sh \"" + wide(unixDir) + L"/run.sh\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(shell.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child)) {
        DWORD error = GetLastError();
        removeRelayDirectory();
        return fail(thrown, "cannot start /bin/sh (" + std::to_string(error) + ")");
    }
    // Wine makes no process or thread object for a Linux child: the process
    // handle comes back null, and the thread handle is whatever its own stack
    // held, often a live handle of ours. Closing it closed the worker's
    // standard input, so that the Java side saw its end at once and stopped
    // the service. Neither handle is touched.
    relayStarted = true;
    relay.stopRelay = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    relay.relayThread = CreateThread(nullptr, 0, relayOutput, nullptr, 0, nullptr);
    if (HANDLE input = CreateThread(nullptr, 0, relayInput, nullptr, 0, nullptr)) CloseHandle(input);

    for (;;) {
        std::string report;
        if (readFile(at(L"report"), report) && !report.empty()) {
            while (!report.empty() && (report.back() == '\n' || report.back() == '\r')) report.pop_back();
            if (report == "returned") return true;
            thrown = report.starts_with("threw ") ? report.substr(6) : report;
            return false;
        }
        int status = 0;
        if (readStatus(status)) endProcess(status);
        Sleep(kPollMillis);
    }
}

void waitForEnd() {
    if (!relayStarted) return;
    int status = 0;
    while (!readStatus(status)) Sleep(kPollMillis);
    if (status != 0) endProcess(status);
    finish();
    relayStarted = false;
}

void processDetaching() {
    // No lock: the process's other threads are gone, perhaps holding it.
    if (!relayStarted) return;
    DeleteFileW(at(L"heartbeat").c_str());
    for (HANDLE output : relay.outputs)
        if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    // The wrapper writes the status, then removes the directory unless the
    // heartbeat is there: whichever of the two looks last cleans up.
    int status = 0;
    if (readStatus(status)) deleteRelayFiles();
}

}  // namespace bridge
