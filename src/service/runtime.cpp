#include "service/runtime.h"

#include <cstdio>
#include <string>

#include "base/format.h"
#include "base/little_endian.h"
#include "base/tokenize.h"
#include "config/java_contract.h"
#include "diag/log.h"
#include "service/commands.h"

namespace wl {
namespace {

// Appends one element, with a space before it unless it is the first; keeps
// the first element that cannot be written.
void appendElement(WorkerCommandLine& command, const std::u16string& element) {
    std::optional<std::u16string> written = quoteForSplit(element);
    if (!written) {
        if (!command.unwritable) command.unwritable = element;
        return;
    }
    if (!command.line.empty()) command.line += u' ';
    command.line += *written;
}

}  // namespace

std::u16string serviceNameFromArguments(const std::vector<std::u16string>& arguments) {
    if (!arguments.empty() && !arguments.front().empty() && arguments.front().size() <= svc::kMaxServiceName)
        return arguments.front();
    return u"unknown";
}

WorkerCommandLine workerCommandLine(const std::vector<std::u16string>& processCommandLine,
                                    const std::u16string& serviceName,
                                    const std::vector<std::u16string>& serviceArguments) {
    WorkerCommandLine command;
    if (!processCommandLine.empty()) appendElement(command, processCommandLine.front());
    appendElement(command, serviceName);
    for (std::size_t i = 1; i < processCommandLine.size(); ++i) appendElement(command, processCommandLine[i]);
    for (std::size_t i = 1; i < serviceArguments.size(); ++i) appendElement(command, serviceArguments[i]);
    appendElement(command, kRestartMarker);
    if (command.unwritable) command.line.clear();
    return command;
}

bool isPriorityClass(uint32_t value) {
    for (uint32_t priorityClass : svc::kPriorityClasses)
        if (value == priorityClass) return true;
    return false;
}

uint32_t workerPriorityFromValue(const std::optional<std::string>& valueBytes) {
    if (!valueBytes || valueBytes->size() != 4) return svc::kNormalPriority;
    uint32_t priority = le32At(*valueBytes, 0);
    if (!isPriorityClass(priority)) {
        // Used as creation flags, such a value could leave the worker
        // suspended or under a debugger while the service shows running.
        logMessage(u"priority %d is not a priority class, using normal priority", int(priority));
        return svc::kNormalPriority;
    }
    logMessage(u"using priority %d", int(priority));
    return priority;
}

bool reportStoppedOnWorkerEnd(uint32_t exitCode, uint32_t currentState) {
    return exitCode == 0 || currentState == svc::kStopPending;
}

class ServiceControl::Guard {
public:
    explicit Guard(ServiceControl& control) : control_(control) { control_.lock(); }
    ~Guard() { control_.unlock(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    ServiceControl& control_;
};

void ServiceControl::handleControl(uint32_t control) {
    Guard guard(*this);
    logMessage(u"control handler request %d", int(control));
    int failureNumber = 3;
    bool stop = true;
    if (control == svc::kControlStop) {
        failureNumber = 2;
    } else if (control == svc::kControlShutdown) {
        failureNumber = 1;
    } else if (control == svc::kControlPreshutdown) {
        failureNumber = 4;
    } else {
        stop = false;
    }
    if (stop) {
        // Progress from now on: each report of the pending stop advances the
        // check point within the wait hint.
        ++status.checkPoint;
        status.currentState = svc::kStopPending;
        status.waitHint = svc::kStopWaitHintMillis;
        if (!stopping_) {
            stopping_ = true;
            stopStart_ = tickCount();
            stopBudget_ = stopBudgetMillis(control, stopTimeoutSeconds, preshutdownTimeoutSeconds);
        }
    }
    if (!report()) logMessage(u"SetServiceStatus %d failed %d", failureNumber, int(lastError()));
    if (stop) sendShutdown(java::kStopReason);
}

bool ServiceControl::stopTick() {
    Guard guard(*this);
    if (!stopping_ || status.currentState != svc::kStopPending) return false;
    ++status.checkPoint;
    if (!report()) logMessage(u"SetServiceStatus 5 failed %d", int(lastError()));
    if (forced_ || uint32_t(tickCount() - stopStart_) < stopBudget_) return false;
    forced_ = true;
    uint32_t seconds = stopBudget_ / 1000;
    logMessage(u"the application did not end within %d s of the stop line", int(seconds));
    logMessage(u"ending the worker and every process it started");
    reportEvent(ServiceEvent::ForcedEnd, formatWide(u"%d", int(seconds)));
    return true;
}

void ServiceControl::sendShutdown(int reason) {
    Guard guard(*this);
    logMessage(u"sending shutdown1 %d", reason);
    if (channel_ == Channel::NotYetOpen) {
        // The worker is not started yet: the line goes out once its input exists.
        if (deferredReason_ < 0) deferredReason_ = reason;
        logMessage(u"worker input not open yet, stop line deferred");
        return;
    }
    char line[16];
    std::snprintf(line, sizeof line, java::kStopLineFormat, reason);
    if (!writeChannel(line)) {
        logMessage(u"sending shutdown failed");
        logMessage(u"error code %d", int(lastError()));
    }
    closeChannel();
    channel_ = Channel::Closed;
    logMessage(u"shutdown sent");
}

void ServiceControl::openChannel() {
    Guard guard(*this);
    channel_ = Channel::Open;
    if (deferredReason_ >= 0) sendShutdown(deferredReason_);
}

void ServiceControl::reportRunning() {
    Guard guard(*this);
    if (status.currentState == svc::kStopPending) return;
    status.currentState = svc::kRunning;
    report();
}

void ServiceControl::workerNotStarted() {
    Guard guard(*this);
    status.currentState = svc::kStopped;
    status.win32ExitCode = svc::kErrorServiceSpecific;
    status.serviceSpecificExitCode = svc::kWorkerNotStarted;
    report();
}

void ServiceControl::workerEnded(uint32_t exitCode) {
    Guard guard(*this);
    logMessage(u"process terminated with exit code %d", int(exitCode));
    // A worker ended after the budget has the exit code it was given.
    if (exitCode != 0 && !forced_) reportEvent(ServiceEvent::WorkerFailed, formatWide(u"%d", int(exitCode)));
    if (!reportStoppedOnWorkerEnd(exitCode, status.currentState)) return;
    status.currentState = svc::kStopped;
    status.checkPoint = 0;
    status.waitHint = 0;
    if (!report()) logMessage(u"SetServiceStatus 10 failed %d", int(lastError()));
    logMessage(u"service stopped set");
    reportEvent(ServiceEvent::Stopped, u"");
}

bool ServiceControl::runWorker(const std::vector<std::u16string>& processCommandLine,
                               const std::u16string& serviceName,
                               const std::vector<std::u16string>& serviceArguments) {
    WorkerCommandLine command = workerCommandLine(processCommandLine, serviceName, serviceArguments);
    if (command.unwritable) {
        // Changed, the argument would reach the application as something
        // else; the worker is not started with it.
        logMessage(u"cannot pass %s to the worker: it holds both kinds of quote", command.unwritable->c_str());
        workerNotStarted();
        return false;
    }
    if (command.line.size() > svc::kMaxCommandLine) {
        // Cut, it would lose the marker and the worker would not know its role.
        logMessage(u"the worker command line has %d characters, more than a process can be given",
                   int(command.line.size()));
        workerNotStarted();
        return false;
    }
    if (!createPipes()) {
        // Without its pipes no worker can start, and a stop would wait for
        // one that never comes.
        workerNotStarted();
        return false;
    }
    openChannel();
    if (!startWorker(command.line, workerPriority())) {
        logMessage(u"could not start process %s (%d)", command.line.c_str(), int(lastError()));
        workerNotStarted();
        return false;
    }
    reportEvent(ServiceEvent::Started, formatWide(u"%d", int(workerProcessId())));
    reportRunning();
    // Stopped is reported only once the worker is gone; while a stop is
    // pending the status shows progress, and the budget ends the worker.
    while (!waitForWorker(svc::kStopTickMillis))
        if (stopTick()) endWorkerTree();
    workerEnded(workerExitCode());
    return true;
}

}  // namespace wl
