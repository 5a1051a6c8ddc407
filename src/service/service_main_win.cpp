// The Win32 half of the service process: the dispatcher, the service main
// that starts and supervises the worker, the control handler and the thread
// that drains the worker's output.
#include <atomic>
#include <vector>

#include "base/child_process.h"
#include "base/handle.h"
#include "base/process_state.h"
#include "base/text.h"
#include "base/tokenize.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/store.h"
#include "diag/console.h"
#include "diag/log.h"
#include "service/commands.h"
#include "service/runtime.h"
#include "service/service.h"

namespace wl {
namespace {

static_assert(svc::kControlStop == SERVICE_CONTROL_STOP && svc::kControlShutdown == SERVICE_CONTROL_SHUTDOWN);
static_assert(svc::kAcceptStopAndShutdown == (SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));
static_assert(svc::kControlPreshutdown == SERVICE_CONTROL_PRESHUTDOWN &&
              svc::kAcceptPreshutdown == SERVICE_ACCEPT_PRESHUTDOWN);
static_assert(EVENTLOG_ERROR_TYPE == 1 && EVENTLOG_WARNING_TYPE == 2 && EVENTLOG_INFORMATION_TYPE == 4);
static_assert(svc::kOwnAndSharedProcess == (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS));
static_assert(svc::kErrorServiceSpecific == ERROR_SERVICE_SPECIFIC_ERROR);
static_assert(svc::kNormalPriority == NORMAL_PRIORITY_CLASS);
static_assert(svc::kPriorityClasses[0] == IDLE_PRIORITY_CLASS &&
              svc::kPriorityClasses[1] == BELOW_NORMAL_PRIORITY_CLASS &&
              svc::kPriorityClasses[3] == ABOVE_NORMAL_PRIORITY_CLASS &&
              svc::kPriorityClasses[4] == HIGH_PRIORITY_CLASS && svc::kPriorityClasses[5] == REALTIME_PRIORITY_CLASS);

constexpr wchar_t kPriorityKey[] = L"SOFTWARE\\tarnwell\\vennic\\priority";
// The 32-bit view of HKLM\SOFTWARE in both builds, the one a 32-bit launcher
// has always read, so that the x86_64 build finds the same value (a 32-bit
// system ignores the flag).
constexpr REGSAM kPriorityAccess = KEY_READ | KEY_WOW64_32KEY;
constexpr DWORD kOutputChunk = kBufferSize;

// Set once a worker runs: from then on the service thread ends the process.
std::atomic<bool> supervisingWorker{false};

// Reads and discards the worker's output until every writer has closed the
// pipe, so that the worker never blocks on a full pipe.
DWORD WINAPI consumeChildOutput(LPVOID readEnd) {
    logMessage(u"consuming output");
    std::vector<char> buffer(kOutputChunk);
    DWORD got = 0;
    while (ReadFile(static_cast<HANDLE>(readEnd), buffer.data(), kOutputChunk, &got, nullptr) && got > 0) {
    }
    logMessage(u"consuming output done");
    return 0;
}

// An anonymous pipe whose handles are inherited, except the parent's end.
bool createPipe(KernelHandle& read, KernelHandle& write, bool parentReads, const char16_t* suffix) {
    if (const char16_t* failedCall = createChildPipe(read, write, parentReads)) {
        logMessage(u"%s error%s (%d)", failedCall, suffix, int(GetLastError()));
        return false;
    }
    return true;
}

class ServiceProcess final : public ServiceControl {
public:
    ServiceProcess() { InitializeCriticalSection(&lock_); }

    SERVICE_STATUS_HANDLE statusHandle = nullptr;

    bool report() override {
        SERVICE_STATUS reported{status.serviceType,   status.currentState,
                                status.controlsAccepted, status.win32ExitCode,
                                status.serviceSpecificExitCode, status.checkPoint,
                                status.waitHint};
        if (SetServiceStatus(statusHandle, &reported)) return true;
        error_ = GetLastError();
        return false;
    }

    uint32_t lastError() override { return error_; }

protected:
    bool createPipes() override {
        if (!createPipe(outputRead_, outputWrite_, true, u"")) return false;
        if (!createPipe(inputRead_, inputWrite_, false, u" 2")) return false;
        controlChannel_ = inputWrite_.release();
        return true;
    }

    // The registry value named after the service in the local machine's priority key.
    uint32_t workerPriority() override {
        RegistryKey key;
        std::optional<std::string> value;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPriorityKey, 0, kPriorityAccess, key.receive()) == ERROR_SUCCESS) {
            DWORD size = 0;
            if (RegQueryValueExW(key.get(), W(serviceName), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
                size == 4) {
                std::string bytes(4, '\0');
                if (RegQueryValueExW(key.get(), W(serviceName), nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(bytes.data()), &size) == ERROR_SUCCESS && size == 4)
                    value = bytes;
            }
        }
        return workerPriorityFromValue(value);
    }

    bool startWorker(const std::u16string& commandLine, uint32_t priority) override {
        createJob();
        // Suspended until it is in the job, so that nothing it starts escapes.
        if (!worker_.start(commandLine, {.creationFlags = priority | DETACHED_PROCESS | CREATE_SUSPENDED,
                                         .useStandardHandles = true, .input = inputRead_.get(),
                                         .output = outputWrite_.get(), .error = outputWrite_.get()})) {
            error_ = GetLastError();
            return false;
        }
        if (job_ && !AssignProcessToJobObject(job_.get(), worker_.handle())) {
            // The service process runs in a job that does not let its
            // children join another (Windows before 8): the worker runs, but
            // what it starts outlives a service process that dies.
            logMessage(u"could not put the worker into a job object (%d); its processes are not ended with "
                       u"the service process",
                       int(GetLastError()));
            job_.reset();
        }
        worker_.resume();
        // Windows applies the class from the creation flags; Wine ignores it
        // there and honours only this call, which repeats it.
        if (priority != svc::kNormalPriority) SetPriorityClass(worker_.handle(), priority);
        // Only the worker holds these ends now: its exit closes its output,
        // and the stop line is the only thing that reaches its input.
        outputWrite_.reset();
        inputRead_.reset();
        HANDLE drain = outputRead_.release();
        if (HANDLE consumer = CreateThread(nullptr, 0, consumeChildOutput, drain, 0, nullptr)) CloseHandle(consumer);
        supervisingWorker = true;
        return true;
    }

    bool waitForWorker(uint32_t millis) override {
        if (!consoleHandlerSet_) {
            registerConsoleHandler();
            consoleHandlerSet_ = true;
        }
        return worker_.wait(millis);
    }

    uint32_t workerExitCode() override {
        uint32_t exitCode = worker_.exitCode();
        worker_.close();
        return exitCode;
    }

    uint32_t workerProcessId() override { return worker_.processId(); }

    void endWorkerTree() override {
        if (job_ && TerminateJobObject(job_.get(), 1)) return;
        // Without a job only the worker itself can be ended.
        logMessage(u"ending the worker alone (%d)", int(GetLastError()));
        worker_.terminate(1);
    }

    uint32_t tickCount() override { return GetTickCount(); }

    void reportEvent(ServiceEvent event, const std::u16string& argument) override {
        if (!eventSource_) eventSource_ = RegisterEventSourceW(nullptr, W(serviceName));
        if (!eventSource_) return;
        const wchar_t* strings[] = {W(argument)};
        ReportEventW(eventSource_, eventType(event), 0, DWORD(event), nullptr, argument.empty() ? 0 : 1, 0,
                     strings, nullptr);
    }

    bool writeChannel(std::string_view text) override {
        DWORD written = 0;
        if (WriteFile(controlChannel_, text.data(), DWORD(text.size()), &written, nullptr) &&
            written == text.size())
            return true;
        error_ = GetLastError();
        return false;
    }

    void closeChannel() override {
        if (controlChannel_) CloseHandle(controlChannel_);
        controlChannel_ = nullptr;
    }

    void lock() override { EnterCriticalSection(&lock_); }
    void unlock() override { LeaveCriticalSection(&lock_); }

private:
    // The job the worker runs in: every process in it ends when its last
    // handle closes, which at the latest is when this process ends, however.
    void createJob() {
        job_.reset(CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!job_ || !SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            logMessage(u"could not create the worker's job object (%d)", int(GetLastError()));
            job_.reset();
        }
    }

    CRITICAL_SECTION lock_;
    KernelHandle job_;
    HANDLE eventSource_ = nullptr;
    bool consoleHandlerSet_ = false;
    DWORD error_ = 0;
    KernelHandle outputRead_, outputWrite_, inputRead_, inputWrite_;
    ChildProcess worker_;
    // The write end of the worker's standard input; null once closed.
    HANDLE controlChannel_ = nullptr;
};

ServiceProcess service;

DWORD WINAPI serviceControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
    service.handleControl(control);
    return NO_ERROR;
}

uint32_t secondsFrom(int32_t id, uint32_t fallback) {
    uint32_t seconds = fallback;
    if (!secondsSetting(findConfigString(id), fallback, seconds))
        logMessage(u"setting %d is no number of seconds, using %d", int(id), int(fallback));
    return seconds;
}

void WINAPI serviceMain(DWORD argc, LPWSTR* argv) {
    logMessage(u"service main");
    service.status = ServiceStatusRecord{};
    std::vector<std::u16string> serviceArguments;
    for (DWORD i = 0; i < argc; ++i) serviceArguments.emplace_back(U(argv[i]));
    serviceName = serviceNameFromArguments(serviceArguments);
    logMessage(u"service name is '%s'", serviceName.c_str());

    service.stopTimeoutSeconds = secondsFrom(cfg::serviceStopTimeout, svc::kDefaultStopTimeoutSeconds);
    service.preshutdownTimeoutSeconds =
        secondsFrom(cfg::servicePreshutdownTimeout, svc::kDefaultPreshutdownTimeoutSeconds);
    logMessage(u"stop budget %d s, at preshutdown %d s", int(service.stopTimeoutSeconds),
               int(service.preshutdownTimeoutSeconds));

    // The extended handler: preshutdown reaches only that one.
    service.statusHandle = RegisterServiceCtrlHandlerExW(W(serviceName), serviceControlHandler, nullptr);
    if (!service.statusHandle) return;
    service.reportRunning();

    std::vector<std::u16string> processCommandLine;
    splitCommandLine(U(GetCommandLineW()), processCommandLine);
    // Reported stopped when no worker could be started: the dispatcher then
    // returns and the process ends through the entry point.
    if (!service.runWorker(processCommandLine, serviceName, serviceArguments)) return;
    logMessage(u"exiting");
    // The process ends here, with exit code 0 and without the runtime's exit
    // processing; the main thread waits in or behind the dispatcher.
    ExitProcess(0);
}

}  // namespace

void runServiceDispatcher() {
    logMessage(u"calling StartServiceCtrlDispatcher");
    std::u16string name = serviceName;
    SERVICE_TABLE_ENTRYW table[] = {{W(name.data()), serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table))
        logMessage(u"StartServiceCtrlDispatcher failed with error %d", int(GetLastError()));
    // The dispatcher returns as soon as the service is reported stopped,
    // while the service thread still finishes up and then ends the process
    // itself; returning from here would run the exit processing under it.
    if (supervisingWorker) Sleep(INFINITE);
    logMessage(u"StartServiceCtrlDispatcher returned");
}

}  // namespace wl
