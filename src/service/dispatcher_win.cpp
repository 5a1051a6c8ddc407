#include "base/process_state.h"
#include "base/winapi.h"
#include "diag/log.h"
#include "service/service.h"

namespace wl {
namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;

DWORD WINAPI controlHandler(DWORD, DWORD, LPVOID, LPVOID) { return NO_ERROR; }

// The service main of this build reports itself stopped at once: the worker
// supervision is not part of it yet, and a service that stays "start pending"
// would hold the service control manager until its timeout.
void WINAPI serviceMain(DWORD, LPWSTR*) {
    logMessage(u"serviceMain");
    statusHandle = RegisterServiceCtrlHandlerExW(W(serviceName), controlHandler, nullptr);
    if (!statusHandle) return;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = SERVICE_STOPPED;
    SetServiceStatus(statusHandle, &status);
}

}  // namespace

void runServiceDispatcher() {
    logMessage(u"calling StartServiceCtrlDispatcher");
    std::u16string name = serviceName;
    SERVICE_TABLE_ENTRYW table[] = {{W(name.data()), serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table))
        logMessage(u"StartServiceCtrlDispatcher failed with error %d", int(GetLastError()));
    logMessage(u"StartServiceCtrlDispatcher returned");
}

}  // namespace wl
