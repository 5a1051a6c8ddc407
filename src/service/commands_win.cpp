// The Win32 half of the service control commands: the service control manager
// behind ServiceManagerApi, and the inputs of /install gathered from the
// configuration and the executable's own path.
#include <vector>

#include "base/procaddress.h"
#include "base/process_state.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/store.h"
#include "diag/console.h"
#include "files/paths.h"
#include "service/commands.h"
#include "service/service.h"

namespace wl {
namespace {

static_assert(svc::kStopped == SERVICE_STOPPED && svc::kStopPending == SERVICE_STOP_PENDING &&
              svc::kRunning == SERVICE_RUNNING);
static_assert(svc::kAutoStart == SERVICE_AUTO_START && svc::kDemandStart == SERVICE_DEMAND_START);
static_assert(svc::kErrorInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER &&
              svc::kErrorServiceAlreadyRunning == ERROR_SERVICE_ALREADY_RUNNING &&
              svc::kErrorServiceNotActive == ERROR_SERVICE_NOT_ACTIVE);
static_assert(svc::kManagerConnect == SC_MANAGER_CONNECT && svc::kManagerAllAccess == SC_MANAGER_ALL_ACCESS);
static_assert(svc::kQueryConfig == SERVICE_QUERY_CONFIG && svc::kQueryStatus == SERVICE_QUERY_STATUS &&
              svc::kStart == SERVICE_START && svc::kStop == SERVICE_STOP && svc::kDelete == DELETE &&
              svc::kServiceAllAccess == SERVICE_ALL_ACCESS);

SC_HANDLE sc(ServiceManagerApi::Handle handle) { return static_cast<SC_HANDLE>(handle); }

class Win32ServiceManager final : public ServiceManagerApi {
public:
    Handle openManager(uint32_t access) override {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, access);
        if (!manager) error_ = GetLastError();
        return manager;
    }

    Handle openService(Handle manager, const std::u16string& name, uint32_t access) override {
        SC_HANDLE service = OpenServiceW(sc(manager), W(name), access);
        if (!service) error_ = GetLastError();
        return service;
    }

    Handle createService(Handle manager, const ServiceDefinition& definition, uint32_t startType) override {
        SC_HANDLE service = CreateServiceW(
            sc(manager), W(definition.name), W(definition.name), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
            startType, SERVICE_ERROR_NORMAL, W(definition.imagePath), nullptr, nullptr,
            definition.dependencies.empty() ? nullptr : W(definition.dependencies), nullptr, nullptr);
        if (!service) error_ = GetLastError();
        return service;
    }

    void close(Handle handle) override { CloseServiceHandle(sc(handle)); }

    bool deleteService(Handle service) override { return check(DeleteService(sc(service))); }

    bool sendStop(Handle service) override {
        SERVICE_STATUS status{};
        return check(ControlService(sc(service), SERVICE_CONTROL_STOP, &status));
    }

    bool queryStatus(Handle service, ServiceStatus& out) override {
        SERVICE_STATUS status{};
        if (!check(QueryServiceStatus(sc(service), &status))) return false;
        out.state = status.dwCurrentState;
        out.checkPoint = status.dwCheckPoint;
        out.waitHint = status.dwWaitHint;
        return true;
    }

    bool queryConfig(Handle service, uint32_t bufferBytes, uint32_t& startType, uint32_t& bytesNeeded) override {
        std::vector<uint64_t> buffer((bufferBytes + 7) / 8);  // aligned for the record
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        DWORD needed = 0;
        if (!check(QueryServiceConfigW(sc(service), config, bufferBytes, &needed))) {
            bytesNeeded = needed;
            return false;
        }
        startType = config->dwStartType;
        account_ = config->lpServiceStartName ? U(config->lpServiceStartName) : u"";
        return true;
    }

    // The account the last configuration read named.
    bool queryAccount(Handle, std::u16string& account) override {
        account = account_;
        return !account.empty();
    }

    bool start(Handle service, const std::vector<std::u16string>& arguments) override {
        std::vector<const wchar_t*> argv;
        for (const std::u16string& argument : arguments) argv.push_back(W(argument));
        return check(StartServiceW(sc(service), DWORD(argv.size()), argv.empty() ? nullptr : argv.data()));
    }

    void setDescription(Handle service, const std::u16string& description) override {
        // Looked up at run time: older systems lack it, and a service without
        // a description works as well.
        using ChangeConfig2 = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);
        auto change = lookupFunction<ChangeConfig2>(LoadLibraryW(L"advapi32.dll"), "ChangeServiceConfig2W");
        if (!change) return;
        std::u16string text = description;
        SERVICE_DESCRIPTIONW info{};
        info.lpDescription = W(text.data());
        change(sc(service), SERVICE_CONFIG_DESCRIPTION, &info);
    }

    uint32_t lastError() override { return error_; }

    void sleep(uint32_t milliseconds) override { Sleep(milliseconds); }
    uint32_t tickCount() override { return GetTickCount(); }
    void print(const std::u16string& text) override { writeStdout(text); }

private:
    bool check(BOOL ok) {
        if (!ok) error_ = GetLastError();
        return ok != FALSE;
    }

    DWORD error_ = 0;
    std::u16string account_;
};

ServiceDefinition installDefinition() {
    ServiceDefinition definition;
    definition.name = serviceName;
    definition.imagePath = quotedImagePath(modulePathWide());
    definition.dependencies = serviceDependencyList(getConfigWide(cfg::serviceDependencies, kBufferSize));
    definition.description = getMessage(cfg::serviceDescription);
    return definition;
}

}  // namespace

ServiceFacts inspectConfiguredService() {
    Win32ServiceManager api;
    return inspectService(api, serviceName);
}

int runServiceCommand(const std::u16string& command, const std::vector<std::u16string>& arguments, bool& handled) {
    Win32ServiceManager api;
    return dispatchServiceCommand(api, command, serviceName, arguments, getConfigInt(cfg::applicationType),
                                  installDefinition, handled);
}

}  // namespace wl
