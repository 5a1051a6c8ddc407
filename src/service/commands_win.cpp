// The Win32 half of the service control commands: the service control manager
// behind ServiceManagerApi, and the inputs of /install gathered from the
// configuration and the executable's own path.
#include <optional>
#include <string>
#include <vector>

#include "base/procaddress.h"
#include "base/format.h"
#include "base/handle.h"
#include "base/process_state.h"
#include "base/text.h"
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

static_assert(svc::kConfigFailureActions == SERVICE_CONFIG_FAILURE_ACTIONS &&
              svc::kConfigDelayedAutoStart == SERVICE_CONFIG_DELAYED_AUTO_START_INFO &&
              svc::kConfigFailureActionsFlag == SERVICE_CONFIG_FAILURE_ACTIONS_FLAG &&
              svc::kConfigPreshutdown == SERVICE_CONFIG_PRESHUTDOWN_INFO &&
              svc::kErrorInvalidLevel == ERROR_INVALID_LEVEL);
static_assert(svc::kActionNone == SC_ACTION_NONE && svc::kActionRestart == SC_ACTION_RESTART);

constexpr wchar_t kEventSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
// The longest password line read; a longer one is no password.
constexpr std::size_t kMaxPassword = 512;

SC_HANDLE sc(ServiceManagerApi::Handle handle) { return static_cast<SC_HANDLE>(handle); }

void wipe(std::u16string& text) {
    SecureZeroMemory(text.data(), text.size() * sizeof(char16_t));
    text.clear();
}

// One line of standard input: typed on the console without echo (after a
// prompt), or piped. Read byte by byte, so that nothing after it is taken,
// and widened through the console's code page or the file functions' one.
std::optional<std::u16string> readSecretLine(const std::u16string& prompt) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = GetConsoleMode(input, &mode);
    if (console) {
        writeStdout(prompt);
        SetConsoleMode(input, (mode & ~DWORD(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
    }
    char bytes[kMaxPassword + 1];
    std::size_t size = 0;
    char c = 0;
    DWORD got = 0;
    while (size <= kMaxPassword && ReadFile(input, &c, 1, &got, nullptr) && got == 1 && c != '\n')
        if (c != '\r') bytes[size++] = c;
    if (console) {
        SetConsoleMode(input, mode);
        writeStdout(u"\n");
    }
    std::u16string line(size, u'\0');
    if (size)
        line.resize(std::size_t(MultiByteToWideChar(console ? GetConsoleCP() : AreFileApisANSI() ? CP_ACP : CP_OEMCP,
                                                    0, bytes, int(size), W(line.data()), int(line.size()))));
    SecureZeroMemory(bytes, sizeof bytes);
    if (size > kMaxPassword) {
        wipe(line);
        return std::nullopt;
    }
    return line;
}

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

    Handle createService(Handle manager, const ServiceDefinition& definition, uint32_t startType,
                         const std::u16string& password) override {
        const std::u16string& account = definition.account.name;
        SC_HANDLE service = CreateServiceW(
            sc(manager), W(definition.name), W(definition.name), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
            startType, SERVICE_ERROR_NORMAL, W(definition.imagePath), nullptr, nullptr,
            definition.dependencies.empty() ? nullptr : W(definition.dependencies),
            account.empty() ? nullptr : W(account), definition.account.needsPassword ? W(password) : nullptr);
        if (!service) error_ = GetLastError();
        return service;
    }

    bool changeConfig(Handle service, const ConfigRequest& request) override {
        if (request.level == SERVICE_CONFIG_FAILURE_ACTIONS) {
            std::vector<SC_ACTION> actions(request.recovery.actions.size());
            for (std::size_t i = 0; i < actions.size(); ++i)
                actions[i] = {SC_ACTION_TYPE(request.recovery.actions[i].type), request.recovery.actions[i].delayMillis};
            SERVICE_FAILURE_ACTIONSW info{};
            info.dwResetPeriod = request.recovery.resetSeconds;
            info.cActions = DWORD(actions.size());
            info.lpsaActions = actions.data();
            return check(ChangeServiceConfig2W(sc(service), request.level, &info));
        }
        // The other levels hold one DWORD or BOOL: the timeout, the flag.
        DWORD value = request.value;
        return check(ChangeServiceConfig2W(sc(service), request.level, &value));
    }

    std::optional<std::u16string> readPassword(const std::u16string& account) override {
        return readSecretLine(formatWide(u"Password for %s: ", account.c_str()));
    }

    bool checkLogon(const std::u16string& account, const std::u16string& password) override {
        // domain\user, or user@domain with no domain apart.
        std::u16string user = account, domain;
        std::size_t slash = account.find(u'\\');
        if (slash != std::u16string::npos) {
            domain = account.substr(0, slash);
            user = account.substr(slash + 1);
        }
        KernelHandle token;
        // A network logon checks the password without needing the right to
        // log on as a service, which the administrator may grant later.
        std::u16string secret = password;
        BOOL ok = LogonUserW(W(user), slash == std::u16string::npos ? nullptr : W(domain), W(secret),
                             LOGON32_LOGON_NETWORK, LOGON32_PROVIDER_DEFAULT, token.receive());
        if (!ok) error_ = GetLastError();
        wipe(secret);
        return ok != FALSE;
    }

    bool registerEventSource(const std::u16string& name, const std::u16string& executable) override {
        RegistryKey key;
        std::u16string path = std::u16string(U(kEventSourceKey)) + name;
        LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                      key.receive(), nullptr);
        DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
        if (result == ERROR_SUCCESS)
            result = RegSetValueExW(key.get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                                    reinterpret_cast<const BYTE*>(executable.c_str()),
                                    DWORD((executable.size() + 1) * sizeof(char16_t)));
        if (result == ERROR_SUCCESS)
            result = RegSetValueExW(key.get(), L"TypesSupported", 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&types), sizeof types);
        error_ = DWORD(result);
        return result == ERROR_SUCCESS;
    }

    void removeEventSource(const std::u16string& name) override {
        std::u16string path = std::u16string(U(kEventSourceKey)) + name;
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, 0);
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
    definition.executable = modulePathWide();
    definition.account = classifyAccount(getConfigWide(cfg::serviceAccount, kBufferSize), serviceName);
    std::string reason;
    const std::string* recovery = findConfigString(cfg::serviceRecovery);
    if (!secondsSetting(findConfigString(cfg::servicePreshutdownTimeout), svc::kDefaultPreshutdownTimeoutSeconds,
                        definition.preshutdownSeconds))
        definition.settingError = u"servicePreshutdownTimeout is no number of seconds; the service is not installed.";
    else if (!parseRecovery(recovery ? *recovery : std::string(), definition.recovery, reason))
        definition.settingError =
            formatWide(u"serviceRecovery: %s; the service is not installed.", fromUtf8(reason).c_str());
    definition.delayedStart = getConfigInt(cfg::serviceDelayedStart) != 0;
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
