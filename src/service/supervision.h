// Service supervision beyond the basic install and run: the stop budget, the
// recovery actions, preshutdown, delayed automatic start, the account the
// service runs under and the events written to the Application log. What is
// asked of the system is decided here, portably, from the settings' texts;
// commands_win.cpp and service_main_win.cpp apply it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wl {

namespace svc {
// Defaults of the supervision settings.
inline constexpr uint32_t kDefaultStopTimeoutSeconds = 30;
inline constexpr uint32_t kDefaultPreshutdownTimeoutSeconds = 60;
inline constexpr char kDefaultRecovery[] = "restart/10000,restart/10000,none,reset/86400";
inline constexpr uint32_t kDefaultResetSeconds = 86400;

// While a stop is pending the status is refreshed this often, each time with
// an advanced check point and this wait hint: the manager never finds the
// service silent for longer than the hint.
inline constexpr uint32_t kStopTickMillis = 1000;
inline constexpr uint32_t kStopWaitHintMillis = 3000;

// The control that announces the system's shutdown ahead of the shutdown
// control, and the bit that accepts it.
inline constexpr uint32_t kControlPreshutdown = 0x0F;
inline constexpr uint32_t kAcceptPreshutdown = 0x100;

// ChangeServiceConfig2 information levels the install sets.
inline constexpr uint32_t kConfigFailureActions = 2;
inline constexpr uint32_t kConfigDelayedAutoStart = 3;
inline constexpr uint32_t kConfigFailureActionsFlag = 4;
inline constexpr uint32_t kConfigPreshutdown = 7;
// ERROR_INVALID_LEVEL: a system that does not keep an information level.
inline constexpr uint32_t kErrorInvalidLevel = 124;

// SC_ACTION types.
inline constexpr uint32_t kActionNone = 0;
inline constexpr uint32_t kActionRestart = 1;
}  // namespace svc

// --- Recovery ---

struct FailureAction {
    uint32_t type = svc::kActionNone;
    uint32_t delayMillis = 0;
    bool operator==(const FailureAction&) const = default;
};

// The recovery actions of the service: after the n-th failure in a row the
// n-th action, the last one for every further failure; the count starts again
// after resetSeconds without failure. No actions: recovery is off.
struct RecoveryPlan {
    std::vector<FailureAction> actions;
    uint32_t resetSeconds = svc::kDefaultResetSeconds;
    bool operator==(const RecoveryPlan&) const = default;
};

// The serviceRecovery setting: "none" (off), or ","-separated items, each
// "restart/<milliseconds>", "none" or "reset/<seconds>" (at most one reset;
// a day when it is missing). An empty setting is the default. False with
// the reason in error for anything else.
bool parseRecovery(std::string_view setting, RecoveryPlan& plan, std::string& error);

// --- Accounts ---

struct ServiceAccount {
    // The name as the manager takes it; empty for LocalSystem.
    std::u16string name;
    // A user account, which logs on with a password.
    bool needsPassword = false;
};

// The serviceAccount setting: empty or LocalSystem (the default),
// LocalService, NetworkService (with or without "NT AUTHORITY\"), the virtual
// account "NT SERVICE\<name>" ("NT SERVICE\" alone names the service's own),
// a managed service account ending in "$", or a user account; a bare user
// name is taken as a local one (".\name").
ServiceAccount classifyAccount(const std::u16string& setting, const std::u16string& serviceName);

// --- Install ---

// One ChangeServiceConfig2 request of the install: the level and its value
// (a timeout in milliseconds, a flag), or the recovery plan of level 2.
struct ConfigRequest {
    uint32_t level = 0;
    uint32_t value = 0;
    RecoveryPlan recovery;
    bool operator==(const ConfigRequest&) const = default;
};

// What the install asks beyond creating the service, in order: the
// preshutdown timeout; the recovery actions with the flag that applies them
// also to a stop reported with an error code (unless recovery is off); the
// delayed automatic start when it is asked for and the start is automatic.
struct ConfigRequests {
    ConfigRequest items[4];
    std::size_t count = 0;
    const ConfigRequest* begin() const { return items; }
    const ConfigRequest* end() const { return items + count; }
    std::vector<ConfigRequest> list() const { return {begin(), end()}; }
};
ConfigRequests installConfigRequests(uint32_t preshutdownSeconds, const RecoveryPlan& recovery, bool delayedStart,
                                     uint32_t startType);

// A name for a request in the lines the install prints.
const char16_t* configRequestName(uint32_t level);

// Whether a refused request spoils the install: a system that does not keep
// an information level (Wine keeps neither delayed start nor the flag) leaves
// the service as usable as before.
bool configRefusalIsFatal(uint32_t error);

// Seconds from a setting (nullptr: absent): its value when given, the
// default when absent or empty. False for anything but a number of seconds.
bool secondsSetting(const std::string* setting, uint32_t fallback, uint32_t& seconds);

// --- Stop budget ---

// The budget of a stop: the stop timeout; at preshutdown no more than the
// preshutdown timeout either, since the system goes on after that.
uint32_t stopBudgetMillis(uint32_t control, uint32_t stopTimeoutSeconds, uint32_t preshutdownTimeoutSeconds);

// --- Application log ---

// The events the service process writes; their ids are those of the message
// table built into the executable (src/service/events.mc).
enum class ServiceEvent : uint32_t {
    Started = 1,       // %1: the worker's process id
    Stopped = 2,
    WorkerFailed = 3,  // %1: the worker's exit code
    ForcedEnd = 4,     // %1: the stop budget in seconds
};
// EVENTLOG_ERROR_TYPE, _WARNING_TYPE, _INFORMATION_TYPE.
uint16_t eventType(ServiceEvent event);

}  // namespace wl
