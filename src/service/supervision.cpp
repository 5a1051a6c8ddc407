#include "service/supervision.h"

#include <algorithm>

#include "base/text.h"

namespace wl {
namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Above any number of at most nine digits.
constexpr uint32_t kNoNumber = 0xFFFFFFFF;

// A decimal number of at most nine digits: no sign, nothing after it.
std::optional<uint32_t> number(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + uint32_t(c - '0');
    }
    return value;
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

bool startsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

bool parseRecovery(std::string_view setting, RecoveryPlan& plan, std::string& error) {
    setting = trimmed(setting);
    if (setting.empty()) setting = svc::kDefaultRecovery;
    plan = RecoveryPlan{};
    if (equalsIgnoreAsciiCase(setting, "none")) return true;
    bool haveReset = false;
    std::size_t at = 0;
    while (at <= setting.size()) {
        std::size_t comma = std::min(setting.find(',', at), setting.size());
        std::string_view item = trimmed(setting.substr(at, comma - at));
        at = comma + 1;
        std::size_t slash = item.find('/');
        std::string_view kind = trimmed(item.substr(0, slash));
        const bool hasValue = slash != std::string_view::npos;
        const uint32_t value = hasValue ? number(trimmed(item.substr(slash + 1))).value_or(kNoNumber) : kNoNumber;
        if (equalsIgnoreAsciiCase(kind, "none") && !hasValue) {
            plan.actions.push_back({svc::kActionNone, 0});
        } else if (equalsIgnoreAsciiCase(kind, "restart") && value != kNoNumber) {
            plan.actions.push_back({svc::kActionRestart, value});
        } else if (equalsIgnoreAsciiCase(kind, "reset") && value != kNoNumber && !haveReset) {
            plan.resetSeconds = value;
            haveReset = true;
        } else {
            error.assign(1, '"');
            error.append(item);
            error.append("\" is not restart/<milliseconds>, none or one reset/<seconds>");
            return false;
        }
    }
    // Only "none" items, or only a reset: nothing would ever happen.
    bool restarts = std::any_of(plan.actions.begin(), plan.actions.end(),
                                [](const FailureAction& a) { return a.type != svc::kActionNone; });
    if (!restarts) plan.actions.clear();
    return true;
}

ServiceAccount classifyAccount(const std::u16string& setting, const std::u16string& serviceName) {
    std::size_t first = setting.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    std::u16string name = setting.substr(first, setting.find_last_not_of(u' ') + 1 - first);
    // The short and the full names of the built-in accounts; LocalSystem is
    // the manager's default, given as no name.
    static const char16_t* const kBuiltIn[][2] = {
        {u"LocalSystem", u""},
        {u".\\LocalSystem", u""},
        {u"NT AUTHORITY\\SYSTEM", u""},
        {u"LocalService", u"NT AUTHORITY\\LocalService"},
        {u"NT AUTHORITY\\LocalService", u"NT AUTHORITY\\LocalService"},
        {u"NetworkService", u"NT AUTHORITY\\NetworkService"},
        {u"NT AUTHORITY\\NetworkService", u"NT AUTHORITY\\NetworkService"},
    };
    for (const auto& builtIn : kBuiltIn)
        if (equalsIgnoreCase(name, builtIn[0])) return {builtIn[1], false};
    constexpr std::u16string_view kVirtual = u"NT SERVICE\\";
    if (startsWithIgnoreCase(name, kVirtual)) {
        if (name.size() == kVirtual.size()) name += serviceName;
        return {name, false};
    }
    // A group managed service account: the system keeps its password.
    if (name.back() == u'$') return {name, false};
    // The manager takes a user as domain\user or user@domain.
    if (name.find_first_of(u"\\@") == std::u16string::npos) name.insert(0, u".\\");
    return {name, true};
}

ConfigRequests installConfigRequests(uint32_t preshutdownSeconds, const RecoveryPlan& recovery, bool delayedStart,
                                     uint32_t startType) {
    ConfigRequests requests;
    auto add = [&](uint32_t level, uint32_t value) -> ConfigRequest& {
        ConfigRequest& request = requests.items[requests.count++];
        request.level = level;
        request.value = value;
        return request;
    };
    add(svc::kConfigPreshutdown, preshutdownSeconds * 1000);
    if (!recovery.actions.empty()) {
        add(svc::kConfigFailureActions, 0).recovery = recovery;
        // Without the flag only a crash counts as a failure; a worker that
        // fails would then restart nothing.
        add(svc::kConfigFailureActionsFlag, 1);
    }
    if (delayedStart && startType == 2) add(svc::kConfigDelayedAutoStart, 1);
    return requests;
}

const char16_t* configRequestName(uint32_t level) {
    switch (level) {
        case svc::kConfigFailureActions: return u"the recovery actions";
        case svc::kConfigDelayedAutoStart: return u"the delayed start";
        case svc::kConfigFailureActionsFlag: return u"the recovery on failure";
        case svc::kConfigPreshutdown: return u"the preshutdown timeout";
    }
    return u"the configuration";
}

bool configRefusalIsFatal(uint32_t error) { return error != svc::kErrorInvalidLevel; }

bool secondsSetting(const std::string* setting, uint32_t fallback, uint32_t& seconds) {
    seconds = fallback;
    std::string_view text = setting ? trimmed(*setting) : std::string_view();
    if (text.empty()) return true;
    // Kept below what the milliseconds of a status report can hold.
    const uint32_t value = number(text).value_or(kNoNumber);
    if (value > 4000000) return false;
    seconds = value;
    return true;
}

uint32_t stopBudgetMillis(uint32_t control, uint32_t stopTimeoutSeconds, uint32_t preshutdownTimeoutSeconds) {
    uint32_t budget = stopTimeoutSeconds * 1000;
    if (control == svc::kControlPreshutdown) budget = std::min(budget, preshutdownTimeoutSeconds * 1000);
    return budget;
}

uint16_t eventType(ServiceEvent event) {
    switch (event) {
        case ServiceEvent::WorkerFailed: return 0x1;  // error
        case ServiceEvent::ForcedEnd: return 0x2;     // warning
        default: return 0x4;                          // information
    }
}

}  // namespace wl
