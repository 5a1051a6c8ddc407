// The service control commands against a simulated service control manager:
// printed lines, exit codes, access rights, handles, and the stop wait.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "base/text.h"
#include "service/commands.h"

namespace wl {
namespace {

struct FakeService {
    std::u16string account = u"LocalSystem";
    uint32_t state = svc::kStopped;
    uint32_t startType = svc::kDemandStart;
    ServiceDefinition definition;
    std::vector<std::u16string> startArguments;
    int starts = 0;
    // What the service reports after a stop request, one status per query;
    // the last one repeats. Empty: it stops at once.
    std::vector<ServiceStatus> stopSequence;
    std::u16string password;             // as handed to the create call
    std::vector<ConfigRequest> configured;  // the ChangeServiceConfig2 requests it took
    std::size_t stopStep = 0;
    bool stopping = false;
    uint32_t stopError = 0;   // the stop control fails with this code
    uint32_t startError = 0;  // the start fails with this code
    uint32_t configError = 0;   // the configuration query fails with this code
    uint32_t configBytes = 800;  // the size of the configuration
};

class FakeManager final : public ServiceManagerApi {
public:
    std::map<std::u16string, FakeService> services;
    std::string output;
    uint32_t now = 1000;
    int sleeps = 0;
    uint32_t managerError = 0;  // opening the manager fails with this code
    uint32_t createError = 0;   // creating a service fails with this code
    int openHandles = 0;
    int servicesOpenAtCreate = -1;
    std::vector<uint32_t> configQueries;  // the buffer size of each
    // "m<access>" for the manager, "s<access>" for a service, "create".
    std::vector<std::string> accessLog;

    Handle openManager(uint32_t access) override {
        accessLog.push_back(tagged('m', access));
        if (managerError) return fail(managerError);
        return open(u"");
    }
    Handle openService(Handle, const std::u16string& name, uint32_t access) override {
        accessLog.push_back(tagged('s', access));
        if (!services.count(name)) return fail(1060);
        return open(name);
    }
    // Levels refused with their error code.
    std::map<uint32_t, uint32_t> refusedLevels;
    // What readPassword gives; how a logon with it ends (0: it succeeds).
    std::optional<std::u16string> passwordInput;
    uint32_t logonError = 0;
    std::vector<std::u16string> passwordPrompts, logons;
    std::map<std::u16string, std::u16string> eventSources;  // name -> executable
    uint32_t eventSourceError = 0;

    bool changeConfig(Handle handle, const ConfigRequest& request) override {
        auto refused = refusedLevels.find(request.level);
        if (refused != refusedLevels.end()) return failed(refused->second);
        services.at(nameOf(handle)).configured.push_back(request);
        return true;
    }
    std::optional<std::u16string> readPassword(const std::u16string& account) override {
        passwordPrompts.push_back(account);
        return passwordInput;
    }
    bool checkLogon(const std::u16string& account, const std::u16string& password) override {
        logons.push_back(account + u":" + password);
        return logonError ? failed(logonError) : true;
    }
    bool registerEventSource(const std::u16string& name, const std::u16string& executable) override {
        if (eventSourceError) return failed(eventSourceError);
        eventSources[name] = executable;
        return true;
    }
    void removeEventSource(const std::u16string& name) override { eventSources.erase(name); }

    Handle createService(Handle, const ServiceDefinition& definition, uint32_t startType,
                         const std::u16string& password) override {
        accessLog.push_back("create");
        servicesOpenAtCreate = openHandles - 1;  // besides the manager
        if (createError) return fail(createError);
        if (services.count(definition.name)) return fail(1073);
        FakeService& service = services[definition.name];
        service.definition = definition;
        service.startType = startType;
        service.password = password;
        return open(definition.name);
    }
    void close(Handle handle) override {
        --openHandles;
        handles_.erase(static_cast<Entry*>(handle));
    }
    bool deleteService(Handle handle) override {
        services.erase(nameOf(handle));
        return true;
    }
    bool sendStop(Handle handle) override {
        FakeService& service = services.at(nameOf(handle));
        if (service.state == svc::kStopped) return failed(svc::kErrorServiceNotActive);
        if (service.stopError) return failed(service.stopError);
        if (service.stopSequence.empty()) {
            service.state = svc::kStopped;
        } else {
            service.stopping = true;
            service.stopStep = 0;
        }
        return true;
    }
    bool queryStatus(Handle handle, ServiceStatus& status) override {
        FakeService& service = services.at(nameOf(handle));
        if (service.stopping) {
            std::size_t step = std::min(service.stopStep++, service.stopSequence.size() - 1);
            service.state = service.stopSequence[step].state;
            status = service.stopSequence[step];
            return true;
        }
        status = ServiceStatus{service.state, 0, 0};
        return true;
    }
    bool queryConfig(Handle handle, uint32_t bufferBytes, uint32_t& startType, uint32_t& bytesNeeded) override {
        FakeService& service = services.at(nameOf(handle));
        configQueries.push_back(bufferBytes);
        if (service.configError) {
            bytesNeeded = 0;
            return failed(service.configError);
        }
        if (bufferBytes < service.configBytes) {
            bytesNeeded = service.configBytes;
            return failed(122);
        }
        startType = service.startType;
        return true;
    }
    bool queryAccount(Handle handle, std::u16string& account) override {
        account = services.at(nameOf(handle)).account;
        return !account.empty();
    }
    bool start(Handle handle, const std::vector<std::u16string>& arguments) override {
        FakeService& service = services.at(nameOf(handle));
        if (service.state != svc::kStopped) return failed(svc::kErrorServiceAlreadyRunning);
        if (service.startError) return failed(service.startError);
        service.state = svc::kRunning;
        service.startArguments = arguments;
        ++service.starts;
        return true;
    }
    void setDescription(Handle handle, const std::u16string& description) override {
        services.at(nameOf(handle)).definition.description = u"set:" + description;
    }
    uint32_t lastError() override { return error_; }
    void sleep(uint32_t milliseconds) override {
        now += milliseconds;
        ++sleeps;
    }
    uint32_t tickCount() override { return now; }
    void print(const std::u16string& text) override { output += toUtf8(text); }

private:
    struct Entry {
        std::u16string name;
    };
    std::map<Entry*, std::unique_ptr<Entry>> handles_;
    uint32_t error_ = 0;

    static std::string tagged(char tag, uint32_t access) {
        char text[16];
        std::snprintf(text, sizeof text, "%c%X", tag, unsigned(access));
        return text;
    }
    Handle open(const std::u16string& name) {
        auto entry = std::make_unique<Entry>(Entry{name});
        Entry* handle = entry.get();
        handles_[handle] = std::move(entry);
        ++openHandles;
        return handle;
    }
    Handle fail(uint32_t error) {
        error_ = error;
        return nullptr;
    }
    bool failed(uint32_t error) {
        error_ = error;
        return false;
    }
    std::u16string nameOf(Handle handle) const { return static_cast<Entry*>(handle)->name; }
};

FakeService running(uint32_t startType = svc::kDemandStart) {
    FakeService service;
    service.state = svc::kRunning;
    service.startType = startType;
    return service;
}

FakeService stopped(uint32_t startType = svc::kDemandStart) {
    FakeService service;
    service.startType = startType;
    return service;
}

ServiceDefinition definitionFor(const std::u16string& name) {
    ServiceDefinition definition;
    definition.name = name;
    definition.imagePath = quotedImagePath(u"C:\\Program Files\\My App\\app.exe");
    definition.dependencies = serviceDependencyList(u"Tcpip,Dnscache");
    definition.description = u"Serves things";
    return definition;
}

struct CommandCase {
    const char* title;
    std::map<std::u16string, FakeService> services;
    const char16_t* command;
    std::vector<std::u16string> arguments;
    std::string output;
    int code;
    std::function<void(FakeManager&)> setUp = nullptr;
    std::function<void(FakeManager&)> check = nullptr;
    int32_t applicationType = 0;
};

int runCommand(FakeManager& fake, const CommandCase& c, bool& handled) {
    std::u16string name = c.arguments.empty() ? u"Svc" : c.arguments.front();
    return dispatchServiceCommand(fake, c.command, name, c.arguments, c.applicationType,
                                  [name] { return definitionFor(name); }, handled);
}

TEST(ServiceCommands, PrintedLinesExitCodesAndEffects) {
    const std::u16string svcName = u"Svc";
    FakeService refusing = running();
    refusing.stopError = 1052;
    FakeService notConfigurable = running();
    notConfigurable.configError = 5;
    FakeService stopping = running();
    stopping.state = svc::kStopPending;
    FakeService largeConfig = running(svc::kAutoStart);
    largeConfig.configBytes = 9000;
    FakeService failingStart = stopped();
    failingStart.startError = 1053;

    const CommandCase cases[] = {
        {"install of a new service", {}, u"install", {}, "Installed service 'Svc'.\n", 0, nullptr,
         [](FakeManager& f) {
             const FakeService& s = f.services.at(u"Svc");
             EXPECT_EQ(s.startType, svc::kDemandStart);
             EXPECT_EQ(s.definition.imagePath, u"\"C:\\Program Files\\My App\\app.exe\"");
             EXPECT_EQ(s.definition.dependencies, std::u16string(u"Tcpip\0Dnscache\0\0", 16));
             EXPECT_EQ(s.definition.description, u"set:Serves things");
             EXPECT_EQ(s.state, svc::kStopped);
         }},
        {"install of an automatic application", {}, u"install", {}, "Installed service 'Svc'.\n", 0, nullptr,
         [](FakeManager& f) { EXPECT_EQ(f.services.at(u"Svc").startType, svc::kAutoStart); }, 4},
        {"install-auto ignores the application type", {}, u"install-auto", {}, "Installed service 'Svc'.\n", 0,
         nullptr, [](FakeManager& f) { EXPECT_EQ(f.services.at(u"Svc").startType, svc::kAutoStart); }},
        {"install-demand ignores the application type", {}, u"install-demand", {}, "Installed service 'Svc'.\n", 0,
         nullptr, [](FakeManager& f) { EXPECT_EQ(f.services.at(u"Svc").startType, svc::kDemandStart); }, 4},
        {"install over a running service", {{svcName, running(svc::kAutoStart)}}, u"install", {},
         "Stopping service 'Svc'.\nService stopped\nInstalled service 'Svc'.\n", 0, nullptr,
         [](FakeManager& f) {
             EXPECT_EQ(f.services.at(u"Svc").startType, svc::kDemandStart);
             EXPECT_EQ(f.services.at(u"Svc").definition.description, u"set:Serves things");
         }},
        {"install over a stopped service", {{svcName, stopped()}}, u"install", {},
         "Service is already stopped.\nInstalled service 'Svc'.\n", 0},
        {"install under a named service", {}, u"install", {u"Other Name"}, "Installed service 'Other Name'.\n", 0,
         nullptr, [](FakeManager& f) { EXPECT_TRUE(f.services.count(u"Other Name")); }},
        {"install without the manager", {}, u"install", {}, "Could not open SCManager.\n", 1,
         [](FakeManager& f) { f.managerError = 5; }},
        {"install that cannot create", {}, u"install", {}, "Could not create service.\n", 1,
         [](FakeManager& f) { f.createError = 1072; }},
        {"install-and-start", {}, u"install-and-start", {}, "Installed service 'Svc'.\nStarting service 'Svc'.\n", 0,
         nullptr, [](FakeManager& f) { EXPECT_EQ(f.services.at(u"Svc").state, svc::kRunning); }},
        {"install-and-start gives the start's result", {{svcName, running()}}, u"install-and-start", {},
         "Stopping service 'Svc'.\nService stopped\nCould not create service.\n"
         "Could not start service. Error code: 1060\n",
         1, [](FakeManager& f) { f.createError = 1072; }},
        {"uninstall of a missing service", {}, u"uninstall", {}, "Could not delete service.\n", 1},
        {"uninstall of a running service", {{svcName, running()}}, u"uninstall", {},
         "Stopping service 'Svc'.\nService stopped\nUninstalled service 'Svc'.\n", 0, nullptr,
         [](FakeManager& f) { EXPECT_FALSE(f.services.count(u"Svc")); }},
        {"uninstall of a stopped service", {{svcName, stopped()}}, u"uninstall", {},
         "Service is already stopped.\nUninstalled service 'Svc'.\n", 0},
        {"uninstall without the manager", {{svcName, stopped()}}, u"uninstall", {}, "Could not open SCManager.\n", 1,
         [](FakeManager& f) { f.managerError = 5; }},
        {"stop of a stopped service", {{svcName, stopped()}}, u"stop", {}, "Service is already stopped.\n", 0},
        {"stop of a running service", {{svcName, running()}}, u"stop", {},
         "Stopping service 'Svc'.\nService stopped\n", 0},
        {"stop of a missing service", {}, u"stop", {}, "Could not stop service.\n", 1},
        {"stop refused by the service", {{svcName, refusing}}, u"stop", {}, "Could not stop service.\n", 1},
        {"stop without the manager", {}, u"stop", {}, "Could not open SCManager.\n", 1,
         [](FakeManager& f) { f.managerError = 5; }},
        {"stop of another service", {{u"Other", running()}, {svcName, running()}}, u"stop", {u"Other"},
         "Stopping service 'Other'.\nService stopped\n", 0, nullptr,
         [](FakeManager& f) { EXPECT_EQ(f.services.at(u"Svc").state, svc::kRunning); }},
        {"start with arguments", {{svcName, stopped()}}, u"start", {u"Svc", u"a", u"b c"},
         "Starting service 'Svc'.\n", 0, nullptr,
         [](FakeManager& f) {
             EXPECT_EQ(f.services.at(u"Svc").startArguments, (std::vector<std::u16string>{u"a", u"b c"}));
         }},
        {"start with the name alone", {{svcName, stopped()}}, u"start", {u"Svc"}, "Starting service 'Svc'.\n", 0,
         nullptr, [](FakeManager& f) { EXPECT_TRUE(f.services.at(u"Svc").startArguments.empty()); }},
        {"start of a running service", {{svcName, running()}}, u"start", {}, "Service is already running.\n", 0},
        {"start of a missing service", {}, u"start", {}, "Could not start service. Error code: 1060\n", 1},
        {"start that fails", {{svcName, failingStart}}, u"start", {}, "Could not start service. Error code: 1053\n",
         1},
        {"start without the manager", {{svcName, stopped()}}, u"start", {}, "Could not open SCManager.\n", 1,
         [](FakeManager& f) { f.managerError = 5; }},
        {"restart of a running service", {{svcName, running()}}, u"restart", {u"Svc", u"x"},
         "Stopping service 'Svc'.\nService stopped\nStarting service 'Svc'.\n", 0, nullptr,
         [](FakeManager& f) {
             EXPECT_EQ(f.services.at(u"Svc").startArguments, std::vector<std::u16string>{u"x"});
         }},
        {"restart of a stopped service", {{svcName, stopped()}}, u"restart", {},
         "Service is already stopped.\nStarting service 'Svc'.\n", 0},
        {"restart of a missing service: the stop is silent", {}, u"restart", {},
         "Could not start service. Error code: 1060\n", 1},
        {"restart with a refused stop", {{svcName, refusing}}, u"restart", {}, "Service is already running.\n", 0},
        {"status of a running automatic service", {{svcName, running(svc::kAutoStart)}}, u"status", {},
         "Running.\nAuto-start.\n", 0},
        {"status of a running on-demand service", {{svcName, running()}}, u"status", {}, "Running.\n", 0},
        {"status of a stopped on-demand service", {{svcName, stopped()}}, u"status", {}, "Not running.\n", 3},
        {"status of a stopped automatic service", {{svcName, stopped(svc::kAutoStart)}}, u"status", {},
         "Not running.\nAuto-start.\n", 3},
        {"status of a stopping service", {{svcName, stopping}}, u"status", {}, "Not running.\n", 3},
        {"status of a missing service", {}, u"status", {}, "Could not get status.\n", 1},
        {"status without the configuration", {{svcName, notConfigurable}}, u"status", {},
         "Running.\nCould not get config (5, 0).\n", 1},
        {"status with a configuration beyond the first buffer", {{svcName, largeConfig}}, u"status", {},
         "Running.\nAuto-start.\n", 0, nullptr,
         [](FakeManager& f) { EXPECT_EQ(f.configQueries, (std::vector<uint32_t>{6000, 9000})); }},
        {"status without the manager", {}, u"status", {}, "Could not open SCManager.\n", 1,
         [](FakeManager& f) { f.managerError = 5; }},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.title);
        FakeManager fake;
        fake.services = c.services;
        if (c.setUp) c.setUp(fake);
        bool handled = false;
        int code = runCommand(fake, c, handled);
        EXPECT_TRUE(handled);
        EXPECT_EQ(fake.output, c.output);
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(fake.openHandles, 0) << "every handle is closed";
        if (c.check) c.check(fake);
    }
}

TEST(ServiceCommands, OtherCommandsAreNotHandled) {
    for (const char16_t* command : {u"run", u"run-redirect", u"help", u"", u"INSTALL", u"Status", u"install "}) {
        FakeManager fake;
        bool handled = true;
        bool asked = false;
        int code = dispatchServiceCommand(fake, command, u"Svc", {}, 0,
                                          [&] {
                                              asked = true;
                                              return definitionFor(u"Svc");
                                          },
                                          handled);
        EXPECT_FALSE(handled);
        EXPECT_EQ(code, 0);
        EXPECT_FALSE(asked);
        EXPECT_TRUE(fake.accessLog.empty()) << "the manager is not even opened";
    }
}

TEST(ServiceCommands, AccessRights) {
    struct Case {
        const char16_t* command;
        std::vector<std::string> access;
    };
    // Manager connect 1, all access F003F; service query config 1, query status 4,
    // start 10, stop 20, delete 10000.
    const Case cases[] = {
        {u"status", {"m1", "s5"}},
        {u"stop", {"m1", "s24"}},
        {u"start", {"m1", "s10"}},
        {u"uninstall", {"m1", "s24", "mF003F", "s10000"}},
        {u"install", {"m1", "s24", "mF003F", "s10000", "mF003F", "create"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.command));
        FakeManager fake;
        fake.services[u"Svc"] = running();
        bool handled = false;
        dispatchServiceCommand(fake, c.command, u"Svc", {}, 0, [] { return definitionFor(u"Svc"); }, handled);
        EXPECT_EQ(fake.accessLog, c.access);
    }
}

TEST(ServiceCommands, InstallCreatesOnlyAfterTheOldServiceIsClosed) {
    // A deleted service is removed only when its last handle is closed; one
    // left open would make the new creation fail.
    FakeManager fake;
    fake.services[u"Svc"] = running();
    EXPECT_EQ(installService(fake, definitionFor(u"Svc"), svc::kDemandStart), 0);
    EXPECT_EQ(fake.servicesOpenAtCreate, 0);
}

TEST(ServiceCommands, InstallWithoutDescriptionLeavesItUnset) {
    FakeManager fake;
    ServiceDefinition definition = definitionFor(u"Svc");
    definition.description.clear();
    EXPECT_EQ(installService(fake, definition, svc::kDemandStart), 0);
    EXPECT_EQ(fake.services.at(u"Svc").definition.description, u"");
}

TEST(ServiceCommands, DependencyList) {
    using namespace std::string_literals;
    struct Case {
        std::u16string setting;
        std::u16string list;
    };
    const Case cases[] = {
        {u"", u""},
        {u",", u""},
        {u",,,", u""},
        {u"Tcpip", u"Tcpip\0\0"s},
        {u"Tcpip,Dnscache", u"Tcpip\0Dnscache\0\0"s},
        {u",Tcpip,,Dnscache,", u"Tcpip\0Dnscache\0\0"s},
        {u"a b, c", u"a b\0c\0\0"s},  // surrounding spaces go, inner ones stay
        {u"  Tcpip  ,   , Dnscache ", u"Tcpip\0Dnscache\0\0"s},
        {u" , ", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.setting));
        EXPECT_EQ(serviceDependencyList(c.setting), c.list);
    }
}

TEST(ServiceCommands, ImagePathAndStartType) {
    EXPECT_EQ(quotedImagePath(u"C:\\a b\\app.exe"), u"\"C:\\a b\\app.exe\"");
    EXPECT_EQ(installStartType(4), svc::kAutoStart);
    for (int32_t type : {0, 1, 2, 3, 5, -4}) EXPECT_EQ(installStartType(type), svc::kDemandStart) << type;
}

// --- waitForServiceStop ---

TEST(ServiceCommands, WaitForServiceStop) {
    constexpr uint32_t P = svc::kStopPending, S = svc::kStopped, R = svc::kRunning;
    struct Case {
        const char* title;
        std::vector<ServiceStatus> statuses;  // the last one repeats
        uint32_t startTick;
        bool stopped;
        int sleeps;
    };
    const Case cases[] = {
        {"already stopped", {{S, 0, 0}}, 1000, true, 0},
        {"stops after a while", {{P, 1, 3000}, {P, 1, 3000}, {S, 0, 0}}, 1000, true, 2},
        // 500 and 1000 ms are within the hint, 1500 ms are more than it.
        {"stuck past its wait hint", {{P, 1, 1000}}, 1000, false, 3},
        {"stuck with exactly its wait hint", {{P, 1, 1500}}, 1000, false, 4},
        {"a zero wait hint allows one pause", {{P, 0, 0}}, 1000, false, 1},
        {"progress restarts the clock",
         {{P, 1, 600}, {P, 2, 600}, {P, 3, 600}, {P, 4, 600}, {P, 5, 600}, {P, 6, 600}, {S, 6, 0}},
         1000, true, 6},
        {"progress, then stuck", {{P, 1, 600}, {P, 2, 600}, {P, 3, 600}}, 1000, false, 4},
        {"a falling check point is no progress", {{P, 5, 600}, {P, 4, 600}, {P, 3, 600}, {P, 2, 600}}, 1000, false,
         2},
        {"check points compare unsigned",
         {{P, 0x7FFFFFFF, 600}, {P, 0x80000000u, 600}, {P, 0x80000000u, 600}, {S, 0, 0}},
         1000, true, 3},
        {"the tick count wraps", {{P, 1, 1000}}, 0xFFFFFE00u, false, 3},
        {"ends in another state", {{P, 1, 5000}, {R, 0, 0}}, 1000, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        FakeManager fake;
        FakeService service = running();
        service.stopSequence = c.statuses;
        fake.services[u"Svc"] = service;
        fake.now = c.startTick;
        ServiceManagerApi::Handle handle = fake.openService(nullptr, u"Svc", svc::kStop | svc::kQueryStatus);
        ASSERT_TRUE(fake.sendStop(handle));
        EXPECT_EQ(waitForServiceStop(fake, handle), c.stopped);
        EXPECT_EQ(fake.sleeps, c.sleeps);
        fake.close(handle);
    }
}

// A status query that fails ends the wait with false, before or while waiting.
class FailingStatus final : public ServiceManagerApi {
public:
    int failAt;  // 0: the first query fails
    int queries = 0;
    int sleeps = 0;
    explicit FailingStatus(int at) : failAt(at) {}
    Handle openManager(uint32_t) override { return nullptr; }
    Handle openService(Handle, const std::u16string&, uint32_t) override { return nullptr; }
    Handle createService(Handle, const ServiceDefinition&, uint32_t, const std::u16string&) override {
        return nullptr;
    }
    bool changeConfig(Handle, const ConfigRequest&) override { return false; }
    std::optional<std::u16string> readPassword(const std::u16string&) override { return std::nullopt; }
    bool checkLogon(const std::u16string&, const std::u16string&) override { return false; }
    bool registerEventSource(const std::u16string&, const std::u16string&) override { return false; }
    void removeEventSource(const std::u16string&) override {}
    void close(Handle) override {}
    bool deleteService(Handle) override { return false; }
    bool sendStop(Handle) override { return false; }
    bool queryStatus(Handle, ServiceStatus& status) override {
        if (queries++ == failAt) return false;
        status = ServiceStatus{svc::kStopPending, 1, 100000};
        return true;
    }
    bool queryConfig(Handle, uint32_t, uint32_t&, uint32_t&) override { return false; }
    bool start(Handle, const std::vector<std::u16string>&) override { return false; }
    void setDescription(Handle, const std::u16string&) override {}
    uint32_t lastError() override { return 6; }
    void sleep(uint32_t) override { ++sleeps; }
    uint32_t tickCount() override { return 0; }
    void print(const std::u16string&) override {}
};

TEST(ServiceCommands, WaitForServiceStopEndsWhenStatusFails) {
    for (int at : {0, 1, 3}) {
        FailingStatus api(at);
        EXPECT_FALSE(waitForServiceStop(api, reinterpret_cast<ServiceManagerApi::Handle>(1))) << at;
        EXPECT_EQ(api.sleeps, at) << at;
    }
}

TEST(ServiceCommands, StopThatOutlastsItsWaitHintStillSucceeds) {
    FakeManager fake;
    FakeService service = running();
    service.stopSequence = {{svc::kStopPending, 1, 1000}};
    fake.services[u"Svc"] = service;
    EXPECT_EQ(stopService(fake, u"Svc", true), 0);
    EXPECT_EQ(fake.output, "Stopping service 'Svc'.\nError while stopping service\n");
}

// What /diagnose tells of a service: found through the same manager calls
// as /status, changing nothing and leaving no handle open.
TEST(ServiceCommands, InspectService) {
    FakeManager api;
    api.services[u"Run"] = running(svc::kAutoStart);
    api.services[u"Big"] = stopped();
    api.services[u"Big"].configBytes = 9000;
    api.services[u"Big"].account = u".\\svc";
    ServiceFacts facts = inspectService(api, u"Run");
    EXPECT_TRUE(facts.managerOpened && facts.installed && facts.statusKnown && facts.configKnown);
    EXPECT_STREQ(serviceStateName(facts.state), "running");
    EXPECT_STREQ(startTypeName(facts.startType), "automatic");
    EXPECT_EQ(facts.account, u"LocalSystem");
    // A configuration beyond the first buffer is read again in its size.
    facts = inspectService(api, u"Big");
    EXPECT_TRUE(facts.configKnown);
    EXPECT_STREQ(startTypeName(facts.startType), "on demand");
    EXPECT_STREQ(serviceStateName(facts.state), "stopped");
    EXPECT_EQ(facts.account, u".\\svc");
    facts = inspectService(api, u"Missing");
    EXPECT_TRUE(facts.managerOpened);
    EXPECT_FALSE(facts.installed || facts.statusKnown || facts.configKnown);
    api.managerError = 5;
    facts = inspectService(api, u"Run");
    EXPECT_FALSE(facts.managerOpened || facts.installed);
    EXPECT_EQ(api.openHandles, 0);
    EXPECT_TRUE(api.output.empty());
    EXPECT_EQ(api.services.size(), 2u);
    EXPECT_STREQ(serviceStateName(9), "unknown");
    EXPECT_STREQ(startTypeName(4), "disabled");
    EXPECT_STREQ(startTypeName(7), "unknown");
}

// The install's requests beyond creating the service, in the order Windows
// needs them; Wine's refusal of the levels it does not keep (124) is no
// failure, any other refusal removes the new service again.
TEST(ServiceCommands, InstallSupervision) {
    RecoveryPlan plan;
    plan.actions = {{svc::kActionRestart, 10000}, {svc::kActionRestart, 10000}, {svc::kActionNone, 0}};
    ServiceDefinition definition = definitionFor(u"Svc");
    definition.executable = u"C:\\app\\svc.exe";
    definition.recovery = plan;
    definition.preshutdownSeconds = 90;
    definition.delayedStart = true;
    {
        FakeManager fake;
        fake.services[u"Svc"] = stopped();
        fake.refusedLevels = {{3, 124}, {4, 124}};
        EXPECT_EQ(installService(fake, definition, svc::kAutoStart), 0);
        EXPECT_EQ(fake.output, "Service is already stopped.\nInstalled service 'Svc'.\n");
        EXPECT_EQ(fake.services.at(u"Svc").configured,
                  (std::vector<ConfigRequest>{{7, 90000, {}}, {2, 0, plan}}));
        EXPECT_EQ(fake.eventSources, (std::map<std::u16string, std::u16string>{{u"Svc", u"C:\\app\\svc.exe"}}));
        EXPECT_EQ(fake.openHandles, 0);
        // Uninstalling removes the event source with the service.
        EXPECT_EQ(uninstallService(fake, u"Svc", true), 0);
        EXPECT_TRUE(fake.eventSources.empty());
    }
    {
        FakeManager fake;
        EXPECT_EQ(installService(fake, definition, svc::kAutoStart), 0);
        EXPECT_EQ(fake.services.at(u"Svc").configured,
                  (std::vector<ConfigRequest>{{7, 90000, {}}, {2, 0, plan}, {4, 1, {}}, {3, 1, {}}}));
    }
    {
        FakeManager fake;
        fake.refusedLevels = {{2, 5}};
        EXPECT_EQ(installService(fake, definition, svc::kAutoStart), 1);
        EXPECT_EQ(fake.output, "Could not set the recovery actions (error 5); the service is not installed.\n");
        EXPECT_TRUE(fake.services.empty());
        EXPECT_TRUE(fake.eventSources.empty());
        EXPECT_EQ(fake.openHandles, 0);
    }
    {
        // An event source that cannot be registered is said, the service stays.
        FakeManager fake;
        fake.eventSourceError = 5;
        EXPECT_EQ(installService(fake, definition, svc::kDemandStart), 0);
        EXPECT_EQ(fake.output, "Could not register the event source (error 5).\nInstalled service 'Svc'.\n");
    }
    {
        // A setting that cannot be used changes nothing.
        FakeManager fake;
        fake.services[u"Svc"] = running();
        ServiceDefinition broken = definition;
        broken.settingError = u"serviceRecovery: bad; the service is not installed.";
        EXPECT_EQ(installService(fake, broken, svc::kAutoStart), 1);
        EXPECT_EQ(fake.output, "serviceRecovery: bad; the service is not installed.\n");
        EXPECT_EQ(fake.services.at(u"Svc").state, svc::kRunning);
        EXPECT_TRUE(fake.accessLog.empty());
    }
}

// A user account's password is read and checked before anything changes:
// without one, or with one the account cannot log on with, the old service
// still runs and no new one exists. Built-in and virtual accounts take none.
TEST(ServiceCommands, InstallAccounts) {
    ServiceDefinition definition = definitionFor(u"Svc");
    definition.account = {u".\\appuser", true};
    {
        FakeManager fake;
        fake.passwordInput = u"s3cret";
        EXPECT_EQ(installService(fake, definition, svc::kDemandStart), 0);
        EXPECT_EQ(fake.passwordPrompts, std::vector<std::u16string>{u".\\appuser"});
        EXPECT_EQ(fake.logons, std::vector<std::u16string>{u".\\appuser:s3cret"});
        EXPECT_EQ(fake.services.at(u"Svc").password, u"s3cret");
        EXPECT_EQ(fake.services.at(u"Svc").definition.account.name, u".\\appuser");
    }
    const struct {
        std::optional<std::u16string> input;
        uint32_t logonError;
        int code;
        const char* output;
    } refusals[] = {
        {std::nullopt, 0, 1, "No password given for the account '.\\appuser'; the service is not installed.\n"},
        {u"", 0, 1, "No password given for the account '.\\appuser'; the service is not installed.\n"},
        {u"wrong", 1326, 1,
         "The account '.\\appuser' cannot log on with this password (error 1326); the service is not installed.\n"},
        {u"locked", 1909, 1,
         "The account '.\\appuser' cannot log on with this password (error 1909); the service is not installed.\n"},
        // Lacking a logon right is no wrong password: the administrator grants it.
        {u"right", 1385, 0, "Installed service 'Svc'.\n"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.output);
        FakeManager fake;
        fake.services[u"Svc"] = running();
        fake.passwordInput = r.input;
        fake.logonError = r.logonError;
        EXPECT_EQ(installService(fake, definition, svc::kDemandStart), r.code);
        EXPECT_EQ(fake.output, r.code ? r.output : std::string("Stopping service 'Svc'.\nService stopped\n") + r.output);
        if (r.code) {
            EXPECT_EQ(fake.services.at(u"Svc").state, svc::kRunning);
            EXPECT_TRUE(fake.accessLog.empty());
        }
    }
    for (const char16_t* builtIn : {u"", u"NT AUTHORITY\\LocalService", u"NT SERVICE\\Svc", u"CORP\\gmsa$"}) {
        FakeManager fake;
        definition.account = {builtIn, false};
        EXPECT_EQ(installService(fake, definition, svc::kDemandStart), 0);
        EXPECT_TRUE(fake.passwordPrompts.empty());
        EXPECT_EQ(fake.services.at(u"Svc").definition.account.name, builtIn);
        EXPECT_EQ(fake.services.at(u"Svc").password, u"");
    }
}

}  // namespace
}  // namespace wl
