// The least a console program costs to start, for the benchmarks
// (tests/bench): built with the launcher's own flags and toolchain, it prints
// one line and ends. With the argument "peak" it prints its peak working set
// in bytes instead, read the way the stand-in jvm.dll reads the launcher's
// ("peak thread": read on a second thread, as the launcher's JVM is made);
// with "acp" the ANSI code page Windows reports (the Wine tests' locales).
// With "thread" it ends the way the stand-in jvm.dll ends a benchmarked
// launch: ExitProcess on a second thread while the first waits for it.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>

namespace {

DWORD WINAPI printAndEnd(LPVOID) {
    std::puts("hello");
    std::fflush(stdout);
    ExitProcess(0);
}

DWORD WINAPI printPeak(LPVOID) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 1;
    std::printf("%llu\n", static_cast<unsigned long long>(counters.PeakWorkingSetSize));
    return 0;
}

// Runs the body on a second thread while this one waits; its exit code.
int onSecondThread(LPTHREAD_START_ROUTINE body) {
    HANDLE thread = CreateThread(nullptr, 0, body, nullptr, 0, nullptr);
    if (!thread) return 1;
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    return int(code);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "thread") == 0) return onSecondThread(printAndEnd);
    if (argc > 1 && std::strcmp(argv[1], "peak") == 0)
        return argc == 2 ? int(printPeak(nullptr)) : onSecondThread(printPeak);
    if (argc > 1 && std::strcmp(argv[1], "acp") == 0) {
        std::printf("%u\n", GetACP());
        return 0;
    }
    std::puts("hello");
    return 0;
}
