// The service process: started by the service control manager, it runs the
// application in a worker copy of this executable and supervises it. Stop and
// shutdown requests become the stop line on the worker's standard input; the
// service is reported stopped once the worker has ended. The decisions are
// here, portably; service_main_win.cpp applies them with the Win32 calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/supervision.h"

namespace wl {

namespace svc {
// Controls the service accepts, and what it reports, numerically the Windows values.
inline constexpr uint32_t kControlStop = 1;
inline constexpr uint32_t kControlShutdown = 5;
inline constexpr uint32_t kAcceptStopAndShutdown = 0x1 | 0x4;
inline constexpr uint32_t kOwnAndSharedProcess = 0x30;
inline constexpr uint32_t kStatusWaitHintMillis = 50000;
// A worker that cannot be started: ERROR_SERVICE_SPECIFIC_ERROR with our own code.
inline constexpr uint32_t kErrorServiceSpecific = 1066;
inline constexpr uint32_t kWorkerNotStarted = 5000;
// NORMAL_PRIORITY_CLASS, the worker's priority unless the registry names another.
inline constexpr uint32_t kNormalPriority = 0x20;
// The six priority classes: IDLE, BELOW_NORMAL, NORMAL, ABOVE_NORMAL, HIGH, REALTIME.
inline constexpr uint32_t kPriorityClasses[] = {0x40, 0x4000, kNormalPriority, 0x8000, 0x80, 0x100};
// The longest command line CreateProcess takes, in code units without the
// terminating zero; Windows refuses a longer one, Wine cuts it.
inline constexpr std::size_t kMaxCommandLine = 32766;
// The longest service name taken from the dispatcher, in code units.
inline constexpr std::size_t kMaxServiceName = 5999;
}  // namespace svc

// The marker that the service process puts last on its worker's command line.
inline constexpr char16_t kRestartMarker[] = u"__qar_restart";

// The record reported to the service control manager, field by field as
// SERVICE_STATUS has them.
struct ServiceStatusRecord {
    uint32_t serviceType = svc::kOwnAndSharedProcess;
    uint32_t currentState = 4;  // running
    uint32_t controlsAccepted = svc::kAcceptStopAndShutdown | svc::kAcceptPreshutdown;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = svc::kStatusWaitHintMillis;
};

// The name the service runs under: the dispatcher's first argument when it
// has one of a usable length, else "unknown".
std::u16string serviceNameFromArguments(const std::vector<std::u16string>& arguments);

// The worker's command line: the program path, the service name, the rest of
// this process's command line, the service start arguments after the name,
// and the marker last. Every element is written so that the worker's
// splitCommandLine gives it back unchanged (quoteForSplit); an element that
// holds both kinds of quote cannot be, and is named in unwritable instead.
struct WorkerCommandLine {
    std::u16string line;
    std::optional<std::u16string> unwritable;
};
WorkerCommandLine workerCommandLine(const std::vector<std::u16string>& processCommandLine,
                                    const std::u16string& serviceName,
                                    const std::vector<std::u16string>& serviceArguments);

// Whether a value is one of the six process priority classes; anything else
// (CREATE_SUSPENDED, the debugging flags, ...) must not reach CreateProcess.
bool isPriorityClass(uint32_t value);

// The worker's priority class from the registry value named after the
// service: used when it is exactly four bytes and a priority class, else
// normal priority.
uint32_t workerPriorityFromValue(const std::optional<std::string>& valueBytes);

// Whether the service is reported stopped when the worker ends: on exit code
// 0, or when a stop was asked for. A worker that fails on its own leaves the
// service running, so that the manager's recovery actions apply.
bool reportStoppedOnWorkerEnd(uint32_t exitCode, uint32_t currentState);

// The service process's side of the worker: the status record, reported to
// the service control manager, and the stop channel, the write end of the
// worker's standard input. Both are shared by the handler, which runs on the
// dispatcher's thread, and the thread that starts and waits for the worker;
// every member function holds the lock for what it does.
class ServiceControl {
public:
    virtual ~ServiceControl() = default;

    ServiceStatusRecord status;
    // The stop budget (serviceStopTimeout, servicePreshutdownTimeout).
    uint32_t stopTimeoutSeconds = svc::kDefaultStopTimeoutSeconds;
    uint32_t preshutdownTimeoutSeconds = svc::kDefaultPreshutdownTimeoutSeconds;

    // Stop, shutdown and preshutdown set stop-pending with an advanced check
    // point and a short wait hint, report, and send the stop line; the first
    // of them starts the stop budget. Anything else reports the status
    // unchanged. The stop line goes out even when the report failed.
    void handleControl(uint32_t control);

    // Called while a stop is pending and the worker still runs, about once
    // a second: reports the advanced check point, so that the manager sees
    // progress. True once the budget is spent: the worker is to be ended
    // (logged, and written to the Application log, once).
    bool stopTick();

    // Writes the stop line once and closes the channel; a later call finds
    // the channel gone, logs the failed write and sends nothing. Before the
    // channel is open the request is kept and carried out by openChannel.
    void sendShutdown(int reason);

    // The worker's input pipe exists: the channel is open from now on, and a
    // stop that came while it did not is sent at once. The pipe's read end
    // keeps the line until the worker reads it.
    void openChannel();

    // Reports running, unless a stop came in the meantime, which stays
    // pending: when the handler is registered and again once the worker runs.
    void reportRunning();

    // The worker could not be started: stopped, with our own exit code.
    void workerNotStarted();

    // The worker has ended: stopped on exit code 0 or when a stop was asked
    // for; otherwise the status is left as it is.
    void workerEnded(uint32_t exitCode);

    // Starts the worker for the service and waits until it has ended: its
    // command line, its pipes, its start, running reported again, the wait.
    // When any step fails there is no worker to stop, so the service is
    // reported stopped with our own exit code, and false is returned. True
    // once a worker has run and ended; the caller then ends the process.
    bool runWorker(const std::vector<std::u16string>& processCommandLine, const std::u16string& serviceName,
                   const std::vector<std::u16string>& serviceArguments);

    // Reports status; false on failure, with the system error in lastError().
    virtual bool report() = 0;
    virtual uint32_t lastError() = 0;

protected:
    // The worker's output and input pipes, the parent's ends kept from it;
    // false, with the failing call logged, when one cannot be made.
    virtual bool createPipes() = 0;
    // The priority class to start the worker with.
    virtual uint32_t workerPriority() = 0;
    // Starts the worker on the pipes; false on failure, with the system error
    // in lastError().
    virtual bool startWorker(const std::u16string& commandLine, uint32_t priority) = 0;
    // Waits up to millis for the started worker to end; true when it has.
    virtual bool waitForWorker(uint32_t millis) = 0;
    virtual uint32_t workerExitCode() = 0;
    virtual uint32_t workerProcessId() = 0;
    // Ends the worker and every process it started.
    virtual void endWorkerTree() = 0;
    virtual uint32_t tickCount() = 0;
    // Writes an event to the Application log; argument is its one insertion
    // string, if any.
    virtual void reportEvent(ServiceEvent event, const std::u16string& argument) = 0;
    // Writes the whole text to the worker's standard input; false on failure.
    virtual bool writeChannel(std::string_view text) = 0;
    virtual void closeChannel() = 0;
    // A recursive lock around the shared state; none where one thread calls.
    virtual void lock() {}
    virtual void unlock() {}

private:
    class Guard;
    enum class Channel { NotYetOpen, Open, Closed };
    Channel channel_ = Channel::NotYetOpen;
    int deferredReason_ = -1;  // a stop asked for before the channel opened
    bool stopping_ = false;     // a stop came: its budget runs
    uint32_t stopStart_ = 0;    // the tick count of the first stop request
    uint32_t stopBudget_ = 0;   // milliseconds
    bool forced_ = false;       // the worker was ended after the budget
};

}  // namespace wl
