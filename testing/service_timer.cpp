// Times a service's change of state for the benchmarks (tests/bench): runs a
// command line (the launcher's /start or /stop of the service) and polls the
// service until it reaches the wanted state. Prints the milliseconds from the
// command's start to that state on the last line, once the command has ended
// (its own output comes before).
//
// Usage: service_timer.exe NAME running|stopped COMMAND-LINE...
// Exit codes: 0 timed; 1 bad usage or no such service; 2 the command could
// not be started or failed; 3 the state was not reached within 60 s.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 1;
    std::wstring state = argv[2];
    DWORD wanted = state == L"running" ? SERVICE_RUNNING : state == L"stopped" ? SERVICE_STOPPED : 0;
    if (wanted == 0) return 1;
    std::wstring command;
    for (int i = 3; i < argc; ++i) command += (i > 3 ? L" " : L"") + std::wstring(argv[i]);

    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceW(manager, argv[1], SERVICE_QUERY_STATUS) : nullptr;
    if (!service) return 1;

    LARGE_INTEGER frequency, start, reached;
    QueryPerformanceFrequency(&frequency);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 2;
    // Polled rather than waited for: the command itself may wait in steps of
    // its own (a stop is checked every 500 ms).
    SERVICE_STATUS status{};
    bool done = false;
    for (int i = 0; i < 30000 && !done; ++i) {
        done = QueryServiceStatus(service, &status) && status.dwCurrentState == wanted;
        if (!done) Sleep(2);
    }
    QueryPerformanceCounter(&reached);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (!done) return 3;
    if (exitCode != 0) return 2;
    std::printf("%.3f\n", double(reached.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
    return 0;
}
