// The service control commands: install, uninstall, start, stop and status of
// the application's Windows service, on the console. What each command asks
// of the service control manager, what it prints and what it returns is
// decided here, portably; the manager itself is reached through
// ServiceManagerApi, which commands_win.cpp implements with the Win32 calls.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "service/supervision.h"

namespace wl {

// Values of the service control manager, numerically the Windows constants.
namespace svc {
inline constexpr uint32_t kStopped = 1;
inline constexpr uint32_t kStopPending = 3;
inline constexpr uint32_t kRunning = 4;

inline constexpr uint32_t kAutoStart = 2;
inline constexpr uint32_t kDemandStart = 3;

inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorServiceAlreadyRunning = 1056;
inline constexpr uint32_t kErrorServiceNotActive = 1062;

// Access rights: of the manager, then of one service.
inline constexpr uint32_t kManagerConnect = 0x0001;
inline constexpr uint32_t kManagerAllAccess = 0xF003F;
inline constexpr uint32_t kQueryConfig = 0x0001;
inline constexpr uint32_t kQueryStatus = 0x0004;
inline constexpr uint32_t kStart = 0x0010;
inline constexpr uint32_t kStop = 0x0020;
inline constexpr uint32_t kDelete = 0x00010000;
inline constexpr uint32_t kServiceAllAccess = 0xF01FF;

// The pause between two status queries while a service stops.
inline constexpr uint32_t kStopPollMillis = 500;
// The buffer of the first configuration query of /status.
inline constexpr uint32_t kConfigBufferBytes = kBufferSize;
}  // namespace svc

// The part of a service's status the commands look at.
struct ServiceStatus {
    uint32_t state = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};

// Everything /install writes for the service.
struct ServiceDefinition {
    std::u16string name;          // the service name, also its display name
    std::u16string imagePath;     // the executable in double quotes, no arguments
    std::u16string dependencies;  // a double-terminated list; empty for none
    std::u16string description;   // empty: no description is set
    std::u16string executable;    // the executable's path, for the event source
    ServiceAccount account;       // LocalSystem unless the setting names another
    uint32_t preshutdownSeconds = svc::kDefaultPreshutdownTimeoutSeconds;
    RecoveryPlan recovery;
    bool delayedStart = false;
    // Why a supervision setting cannot be used; the install then refuses.
    std::u16string settingError;
};

// The service control manager as the commands use it. A handle is nullptr
// when the call that should give it failed; a failed call leaves the system's
// error code for lastError(), read right after the call.
class ServiceManagerApi {
public:
    using Handle = void*;

    virtual Handle openManager(uint32_t access) = 0;
    virtual Handle openService(Handle manager, const std::u16string& name, uint32_t access) = 0;
    // An own-process service with normal error control under the
    // definition's account (with that password, empty for none), opened with
    // all access.
    virtual Handle createService(Handle manager, const ServiceDefinition& definition, uint32_t startType,
                                 const std::u16string& password) = 0;
    // One ChangeServiceConfig2 request; false, with lastError(), when refused.
    virtual bool changeConfig(Handle service, const ConfigRequest& request) = 0;
    // The account's password, from the console without echo or a line of
    // standard input; nullopt when none could be read.
    virtual std::optional<std::u16string> readPassword(const std::u16string& account) = 0;
    // Whether the account logs on with the password; false with lastError().
    virtual bool checkLogon(const std::u16string& account, const std::u16string& password) = 0;
    // The service's source in the Application log, with the message table of
    // the executable; false with lastError().
    virtual bool registerEventSource(const std::u16string& name, const std::u16string& executable) = 0;
    virtual void removeEventSource(const std::u16string& name) = 0;
    virtual void close(Handle handle) = 0;
    virtual bool deleteService(Handle service) = 0;
    // Sends the stop control.
    virtual bool sendStop(Handle service) = 0;
    virtual bool queryStatus(Handle service, ServiceStatus& status) = 0;
    // Reads the configuration into a buffer of bufferBytes and gives its start
    // type; on failure bytesNeeded is the size the system asked for.
    virtual bool queryConfig(Handle service, uint32_t bufferBytes, uint32_t& startType, uint32_t& bytesNeeded) = 0;
    // The account the service runs under ("LocalSystem"), as the last
    // queryConfig of it read; false when unknown.
    virtual bool queryAccount(Handle /*service*/, std::u16string& /*account*/) { return false; }
    virtual bool start(Handle service, const std::vector<std::u16string>& arguments) = 0;
    // Sets the description where the system can; a failure is not reported.
    virtual void setDescription(Handle service, const std::u16string& description) = 0;
    virtual uint32_t lastError() = 0;

    virtual void sleep(uint32_t milliseconds) = 0;
    virtual uint32_t tickCount() = 0;
    // One piece of console output.
    virtual void print(const std::u16string& text) = 0;

protected:
    ~ServiceManagerApi() = default;
};

// --- Decisions ---

// The image path of the service: the executable's path in double quotes.
std::u16string quotedImagePath(const std::u16string& modulePath);

// The dependency setting ("a,b") as the manager's double-terminated list
// ("a\0b\0\0"); items lose their surrounding spaces, empty items are skipped,
// and a setting without any item gives an empty string, meaning no
// dependencies.
std::u16string serviceDependencyList(const std::u16string& setting);

// Whether a failed logon means the account and password are wrong or cannot
// be used (rather than a right the account lacks, which /install leaves to
// the administrator).
bool logonRejected(uint32_t error);

// The start type /install uses: automatic for application type 4, on demand
// otherwise.
uint32_t installStartType(int32_t applicationType);

// What /diagnose tells of the service, found without changing anything.
struct ServiceFacts {
    bool managerOpened = false;
    bool installed = false;
    bool statusKnown = false;
    uint32_t state = 0;
    bool configKnown = false;
    uint32_t startType = 0;
    std::u16string account;  // empty when unknown
};
ServiceFacts inspectService(ServiceManagerApi& api, const std::u16string& name);

// The state and start type in words ("running", "on demand"); "unknown" for
// a value without one.
const char* serviceStateName(uint32_t state);
const char* startTypeName(uint32_t startType);

// --- Operations; each returns the command's exit code ---

// Stops and deletes an existing service of that name silently, then creates
// it under its account, with its recovery, preshutdown and delayed start and
// its event source. A user account's password is read first; without a usable
// one nothing is changed. A refused configuration removes the new service
// again. 0 installed, 1 failed.
int installService(ServiceManagerApi& api, const ServiceDefinition& definition, uint32_t startType);
// Stops and deletes the service. 0 deleted, 1 failed.
int uninstallService(ServiceManagerApi& api, const std::u16string& name, bool verbose);
// Asks the service to stop and waits for it. 0 stopped, stop requested or
// already stopped; 1 failed. The lines about the stop itself are printed
// whatever verbose says; verbose adds the failure lines.
int stopService(ServiceManagerApi& api, const std::u16string& name, bool verbose);
// Starts the service; the elements of arguments after the first (the service
// name argument) become its start arguments. Does not wait for the running
// state. 0 started or already running, 1 failed.
int startService(ServiceManagerApi& api, const std::u16string& name, const std::vector<std::u16string>& arguments);
// Prints whether the service runs and whether it starts automatically.
// 0 running, 3 not running, 1 failed.
int reportServiceStatus(ServiceManagerApi& api, const std::u16string& name);
// Waits while the service is stop-pending and makes progress: the clock starts
// again whenever its check point advances, and the wait ends once more
// milliseconds than its wait hint pass without progress. True when the
// service ends in the stopped state.
bool waitForServiceStop(ServiceManagerApi& api, ServiceManagerApi::Handle service);

// Runs the service command of the command line (the name without its leading
// "/", "-" or "--") and returns its exit code; handled is false, and nothing
// happens, when the name is not a service command. definition is asked for
// only by the install commands.
int dispatchServiceCommand(ServiceManagerApi& api, const std::u16string& command, const std::u16string& name,
                           const std::vector<std::u16string>& arguments, int32_t applicationType,
                           const std::function<ServiceDefinition()>& definition, bool& handled);

}  // namespace wl
