// Reads back what /install configured, for the Wine tests: given a service
// name, prints one line per item, "name value" or "name error <code>":
//   startType <n> / account <name>          QueryServiceConfigW
//   preshutdown <ms>                        level 7
//   delayed <0|1>                           level 3
//   failureActions <reset> <type>/<delay>...  level 2
//   failureFlag <0|1>                       level 4
#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

std::vector<BYTE> config2(SC_HANDLE service, DWORD level, DWORD& error) {
    DWORD needed = 0;
    error = 0;
    QueryServiceConfig2W(service, level, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed ? needed : 64);
    if (!QueryServiceConfig2W(service, level, buffer.data(), DWORD(buffer.size()), &needed)) {
        error = GetLastError();
        buffer.clear();
    }
    return buffer;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceW(manager, argv[1], SERVICE_QUERY_CONFIG) : nullptr;
    if (!service) {
        std::printf("open error %lu\n", GetLastError());
        return 1;
    }
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed + 16);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (QueryServiceConfigW(service, config, DWORD(buffer.size()), &needed)) {
        std::printf("startType %lu\n", config->dwStartType);
        std::printf("account %ls\n", config->lpServiceStartName ? config->lpServiceStartName : L"");
    } else {
        std::printf("config error %lu\n", GetLastError());
    }
    DWORD error = 0;
    std::vector<BYTE> info = config2(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, error);
    if (error) std::printf("preshutdown error %lu\n", error);
    else std::printf("preshutdown %lu\n", reinterpret_cast<SERVICE_PRESHUTDOWN_INFO*>(info.data())->dwPreshutdownTimeout);
    info = config2(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, error);
    if (error) std::printf("delayed error %lu\n", error);
    else std::printf("delayed %d\n", int(reinterpret_cast<SERVICE_DELAYED_AUTO_START_INFO*>(info.data())->fDelayedAutostart));
    info = config2(service, SERVICE_CONFIG_FAILURE_ACTIONS, error);
    if (error) {
        std::printf("failureActions error %lu\n", error);
    } else {
        auto* actions = reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(info.data());
        std::printf("failureActions %lu", actions->dwResetPeriod);
        for (DWORD i = 0; i < actions->cActions; ++i)
            std::printf(" %d/%lu", int(actions->lpsaActions[i].Type), actions->lpsaActions[i].Delay);
        std::printf("\n");
    }
    info = config2(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, error);
    if (error) std::printf("failureFlag error %lu\n", error);
    else std::printf("failureFlag %d\n", int(reinterpret_cast<SERVICE_FAILURE_ACTIONS_FLAG*>(info.data())->fFailureActionsOnNonCrashFailures));
    return 0;
}
