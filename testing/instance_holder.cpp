// Plays a running first copy of an application for the single-instance tests:
// holds a named semaphore the way the launcher does and records its process id
// under HKCU, then stays alive until its standard input is closed.
//
//   instance_holder [--deny-access] <semaphore name> [<pid value name> [<delay ms>]]
//
// With --deny-access the semaphore's access list is empty, so that no one
// else may open it: a copy that tries to gets ERROR_ACCESS_DENIED, as for a
// global semaphore of another user.
// Prints "ready <pid>" once the semaphore is held. The process id is written
// after the delay, so a second copy can be made to wait for it. Without a
// value name nothing is written. Ends by itself after two minutes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kPidKey[] = "SOFTWARE\\tarnwell\\vennic\\pids\\";

DWORD WINAPI giveUp(LPVOID) {
    Sleep(120000);
    ExitProcess(3);
}

void writePid(const char* valueName) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kPidKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        std::fprintf(stderr, "instance_holder: cannot open the pid key\n");
        ExitProcess(2);
    }
    DWORD pid = GetCurrentProcessId();
    RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pid), sizeof pid);
    RegCloseKey(key);
}

}  // namespace

int main(int argc, char** argv) {
    SECURITY_ATTRIBUTES* security = nullptr;
    SECURITY_ATTRIBUTES denyAll{sizeof denyAll, nullptr, FALSE};
    SECURITY_DESCRIPTOR descriptor;
    ACL emptyList;
    if (argc >= 2 && std::strcmp(argv[1], "--deny-access") == 0) {
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        InitializeAcl(&emptyList, sizeof emptyList, ACL_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, &emptyList, FALSE);
        denyAll.lpSecurityDescriptor = &descriptor;
        security = &denyAll;
        --argc;
        ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: instance_holder [--deny-access] <semaphore name> [<pid value name> [<delay ms>]]\n");
        return 2;
    }
    CloseHandle(CreateThread(nullptr, 0, giveUp, nullptr, 0, nullptr));

    SetLastError(0);
    HANDLE semaphore = CreateSemaphoreA(security, 1, 1, argv[1]);
    if (!semaphore || GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fprintf(stderr, "instance_holder: %s is taken (%lu)\n", argv[1], GetLastError());
        return 2;
    }
    std::printf("ready %lu\n", GetCurrentProcessId());
    std::fflush(stdout);

    if (argc >= 3) {
        if (argc >= 4) Sleep(DWORD(std::strtoul(argv[3], nullptr, 10)));
        writePid(argv[2]);
        std::printf("pid written\n");
        std::fflush(stdout);
    }

    // Held until the test closes standard input.
    char buffer[64];
    DWORD got;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
    CloseHandle(semaphore);
    return 0;
}
