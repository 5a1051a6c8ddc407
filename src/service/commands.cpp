#include "service/commands.h"

#include "base/format.h"

namespace wl {
namespace {

using Handle = ServiceManagerApi::Handle;

// Closes a manager or service handle when the command is done with it, so
// that a service deleted by one step is gone before the next step creates it.
class Opened {
public:
    Opened(ServiceManagerApi& api, Handle handle) : api_(api), handle_(handle) {}
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    ~Opened() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset() {
        if (handle_) api_.close(handle_);
        handle_ = nullptr;
    }

private:
    ServiceManagerApi& api_;
    Handle handle_;
};

void printNamed(ServiceManagerApi& api, const char16_t* format, const std::u16string& name) {
    api.print(formatWide(format, name.c_str()));
}

}  // namespace

std::u16string quotedImagePath(const std::u16string& modulePath) { return formatWide(u"\"%s\"", modulePath.c_str()); }

std::u16string serviceDependencyList(const std::u16string& setting) {
    std::u16string list;
    std::size_t at = 0;
    while (at <= setting.size()) {
        std::size_t comma = setting.find(u',', at);
        if (comma == std::u16string::npos) comma = setting.size();
        // "Tcpip, Dnscache" names the service Dnscache, not " Dnscache".
        std::size_t first = at, last = comma;
        while (first < last && setting[first] == u' ') ++first;
        while (last > first && setting[last - 1] == u' ') --last;
        if (last > first) {
            list.append(setting, first, last - first);
            list.push_back(u'\0');
        }
        at = comma + 1;
    }
    // The list ends with one more zero; without any item there is no list.
    if (!list.empty()) list.push_back(u'\0');
    return list;
}

uint32_t installStartType(int32_t applicationType) {
    return applicationType == 4 ? svc::kAutoStart : svc::kDemandStart;
}

bool logonRejected(uint32_t error) {
    switch (error) {
        case 1317:  // ERROR_NO_SUCH_USER
        case 1326:  // ERROR_LOGON_FAILURE: unknown user or wrong password
        case 1327:  // ERROR_ACCOUNT_RESTRICTION (a blank password, for one)
        case 1330:  // ERROR_PASSWORD_EXPIRED
        case 1331:  // ERROR_ACCOUNT_DISABLED
        case 1909:  // ERROR_ACCOUNT_LOCKED_OUT
            return true;
    }
    return false;
}

int installService(ServiceManagerApi& api, const ServiceDefinition& definition, uint32_t startType) {
    if (!definition.settingError.empty()) {
        api.print(definition.settingError + u"\n");
        return 1;
    }
    // The password is asked for before anything changes, so that a wrong one
    // leaves an installed service as it was.
    std::u16string password;
    if (definition.account.needsPassword) {
        std::optional<std::u16string> given = api.readPassword(definition.account.name);
        if (!given || given->empty()) {
            printNamed(api, u"No password given for the account '%s'; the service is not installed.\n",
                       definition.account.name);
            return 1;
        }
        if (!api.checkLogon(definition.account.name, *given) && logonRejected(api.lastError())) {
            api.print(formatWide(u"The account '%s' cannot log on with this password (error %d); "
                                 u"the service is not installed.\n",
                                 definition.account.name.c_str(), int(api.lastError())));
            return 1;
        }
        password = std::move(*given);
    }

    // An existing service of that name is stopped and removed first; the
    // lines of its stop are printed, the rest of the removal is silent.
    uninstallService(api, definition.name, false);

    Opened manager(api, api.openManager(svc::kManagerAllAccess));
    if (!manager) {
        api.print(u"Could not open SCManager.\n");
        return 1;
    }
    Opened service(api, api.createService(manager.get(), definition, startType, password));
    // The password lives no longer than the call that hands it over.
    password.assign(password.size(), u'\0');
    if (!service) {
        api.print(u"Could not create service.\n");
        return 1;
    }
    if (!definition.description.empty()) api.setDescription(service.get(), definition.description);
    for (const ConfigRequest& request :
         installConfigRequests(definition.preshutdownSeconds, definition.recovery, definition.delayedStart, startType)) {
        if (api.changeConfig(service.get(), request)) continue;
        uint32_t error = api.lastError();
        if (!configRefusalIsFatal(error)) continue;
        api.print(formatWide(u"Could not set %s (error %d); the service is not installed.\n",
                             configRequestName(request.level), int(error)));
        api.deleteService(service.get());
        return 1;
    }
    if (!api.registerEventSource(definition.name, definition.executable))
        api.print(formatWide(u"Could not register the event source (error %d).\n", int(api.lastError())));
    service.reset();
    manager.reset();
    printNamed(api, u"Installed service '%s'.\n", definition.name);
    return 0;
}

int uninstallService(ServiceManagerApi& api, const std::u16string& name, bool verbose) {
    stopService(api, name, false);

    Opened manager(api, api.openManager(svc::kManagerAllAccess));
    if (!manager) {
        if (verbose) api.print(u"Could not open SCManager.\n");
        return 1;
    }
    Opened service(api, api.openService(manager.get(), name, svc::kDelete));
    if (service && api.deleteService(service.get())) {
        service.reset();
        manager.reset();
        api.removeEventSource(name);
        if (verbose) printNamed(api, u"Uninstalled service '%s'.\n", name);
        return 0;
    }
    if (verbose) api.print(u"Could not delete service.\n");
    return 1;
}

int stopService(ServiceManagerApi& api, const std::u16string& name, bool verbose) {
    Opened manager(api, api.openManager(svc::kManagerConnect));
    if (!manager) {
        if (verbose) api.print(u"Could not open SCManager.\n");
        return 1;
    }
    Opened service(api, api.openService(manager.get(), name, svc::kStop | svc::kQueryStatus));
    if (!service) {
        if (verbose) api.print(u"Could not stop service.\n");
        return 1;
    }
    if (api.sendStop(service.get())) {
        printNamed(api, u"Stopping service '%s'.\n", name);
        // A stop that does not finish in time is reported, but the stop was
        // requested, so the command still succeeds.
        api.print(waitForServiceStop(api, service.get()) ? u"Service stopped\n" : u"Error while stopping service\n");
        return 0;
    }
    if (api.lastError() == svc::kErrorServiceNotActive) {
        api.print(u"Service is already stopped.\n");
        return 0;
    }
    if (verbose) api.print(u"Could not stop service.\n");
    return 1;
}

bool waitForServiceStop(ServiceManagerApi& api, Handle service) {
    ServiceStatus status;
    if (!api.queryStatus(service, status)) return false;
    uint32_t startTick = api.tickCount();
    uint32_t startCheckPoint = status.checkPoint;
    while (status.state == svc::kStopPending) {
        api.sleep(svc::kStopPollMillis);
        if (!api.queryStatus(service, status)) return false;
        if (status.checkPoint > startCheckPoint) {
            // Progress: the service gets its wait hint again from now on.
            startTick = api.tickCount();
            startCheckPoint = status.checkPoint;
            continue;
        }
        // Unsigned difference: right across the wrap of the tick count.
        if (uint32_t(api.tickCount() - startTick) > status.waitHint) break;
    }
    return status.state == svc::kStopped;
}

int startService(ServiceManagerApi& api, const std::u16string& name, const std::vector<std::u16string>& arguments) {
    Opened manager(api, api.openManager(svc::kManagerConnect));
    if (!manager) {
        api.print(u"Could not open SCManager.\n");
        return 1;
    }
    uint32_t error = 0;
    Opened service(api, api.openService(manager.get(), name, svc::kStart));
    if (!service) {
        error = api.lastError();
    } else {
        // The first argument named the service; the rest are its arguments.
        std::vector<std::u16string> serviceArguments;
        if (arguments.size() >= 2) serviceArguments.assign(arguments.begin() + 1, arguments.end());
        if (api.start(service.get(), serviceArguments)) {
            service.reset();
            manager.reset();
            printNamed(api, u"Starting service '%s'.\n", name);
            return 0;
        }
        error = api.lastError();
        if (error == svc::kErrorServiceAlreadyRunning) {
            api.print(u"Service is already running.\n");
            return 0;
        }
    }
    api.print(formatWide(u"Could not start service. Error code: %d\n", int(error)));
    return 1;
}

ServiceFacts inspectService(ServiceManagerApi& api, const std::u16string& name) {
    ServiceFacts facts;
    Opened manager(api, api.openManager(svc::kManagerConnect));
    if (!manager) return facts;
    facts.managerOpened = true;
    Opened service(api, api.openService(manager.get(), name, svc::kQueryConfig | svc::kQueryStatus));
    if (!service) return facts;
    facts.installed = true;
    ServiceStatus status;
    facts.statusKnown = api.queryStatus(service.get(), status);
    facts.state = status.state;
    uint32_t bytesNeeded = 0;
    facts.configKnown = api.queryConfig(service.get(), svc::kConfigBufferBytes, facts.startType, bytesNeeded);
    if (!facts.configKnown && api.lastError() == svc::kErrorInsufficientBuffer && bytesNeeded > svc::kConfigBufferBytes)
        facts.configKnown = api.queryConfig(service.get(), bytesNeeded, facts.startType, bytesNeeded);
    if (!facts.configKnown || !api.queryAccount(service.get(), facts.account)) facts.account.clear();
    return facts;
}

const char* serviceStateName(uint32_t state) {
    static const char* const names[] = {"unknown",          "stopped",       "start pending", "stop pending",
                                        "running",          "continue pending", "pause pending", "paused"};
    return names[state <= 7 ? state : 0];
}

const char* startTypeName(uint32_t startType) {
    static const char* const names[] = {"boot", "system", "automatic", "on demand", "disabled", "unknown"};
    return names[startType <= 4 ? startType : 5];
}

int reportServiceStatus(ServiceManagerApi& api, const std::u16string& name) {
    Opened manager(api, api.openManager(svc::kManagerConnect));
    if (!manager) {
        api.print(u"Could not open SCManager.\n");
        return 1;
    }
    Opened service(api, api.openService(manager.get(), name, svc::kQueryConfig | svc::kQueryStatus));
    ServiceStatus status;
    if (!service || !api.queryStatus(service.get(), status)) {
        api.print(u"Could not get status.\n");
        return 1;
    }
    int result = 0;
    if (status.state == svc::kRunning) {
        api.print(u"Running.\n");
    } else {
        api.print(u"Not running.\n");
        result = 3;
    }
    uint32_t startType = 0;
    uint32_t bytesNeeded = 0;
    bool haveConfig = api.queryConfig(service.get(), svc::kConfigBufferBytes, startType, bytesNeeded);
    // A configuration larger than the buffer (a long dependency list) is read
    // again in the size asked for: a healthy service is no failure.
    if (!haveConfig && api.lastError() == svc::kErrorInsufficientBuffer && bytesNeeded > svc::kConfigBufferBytes)
        haveConfig = api.queryConfig(service.get(), bytesNeeded, startType, bytesNeeded);
    if (!haveConfig) {
        int error = int(api.lastError());
        api.print(formatWide(u"Could not get config (%d, %d).\n", error, int(bytesNeeded)));
        return 1;
    }
    if (startType == svc::kAutoStart) api.print(formatWide(u"%s.\n", u"Auto-start"));
    return result;
}

int dispatchServiceCommand(ServiceManagerApi& api, const std::u16string& command, const std::u16string& name,
                           const std::vector<std::u16string>& arguments, int32_t applicationType,
                           const std::function<ServiceDefinition()>& definition, bool& handled) {
    handled = true;
    if (command == u"install") return installService(api, definition(), installStartType(applicationType));
    if (command == u"install-and-start") {
        installService(api, definition(), installStartType(applicationType));
        return startService(api, name, arguments);
    }
    if (command == u"install-auto") return installService(api, definition(), svc::kAutoStart);
    if (command == u"install-demand") return installService(api, definition(), svc::kDemandStart);
    if (command == u"uninstall") return uninstallService(api, name, true);
    if (command == u"stop") return stopService(api, name, true);
    if (command == u"start") return startService(api, name, arguments);
    if (command == u"restart") {
        stopService(api, name, false);
        return startService(api, name, arguments);
    }
    if (command == u"status") return reportServiceStatus(api, name);
    handled = false;
    return 0;
}

}  // namespace wl
