#include "service/runtime.h"

#include <cstdio>
#include <string>

#include "config/java_contract.h"
#include "diag/log.h"
#include "service/commands.h"

namespace wl {
namespace {

void appendQuotedIfSpace(std::u16string& line, const std::u16string& element) {
    bool quote = element.find(u' ') != std::u16string::npos;
    if (quote) line += u'"';
    line += element;
    if (quote) line += u'"';
}

}  // namespace

std::u16string serviceNameFromArguments(const std::vector<std::u16string>& arguments) {
    if (!arguments.empty() && !arguments.front().empty() && arguments.front().size() <= svc::kMaxServiceName)
        return arguments.front();
    return u"unknown";
}

std::u16string workerCommandLine(const std::vector<std::u16string>& processCommandLine,
                                 const std::u16string& serviceName,
                                 const std::vector<std::u16string>& serviceArguments) {
    std::u16string line;
    if (!processCommandLine.empty()) appendQuotedIfSpace(line, processCommandLine.front());
    line += u' ';
    appendQuotedIfSpace(line, serviceName);
    for (std::size_t i = 1; i < processCommandLine.size(); ++i) {
        line += u' ';
        appendQuotedIfSpace(line, processCommandLine[i]);
    }
    for (std::size_t i = 1; i < serviceArguments.size(); ++i) {
        line += u' ';
        appendQuotedIfSpace(line, serviceArguments[i]);
    }
    line += u' ';
    line += kRestartMarker;
    return line;
}

uint32_t workerPriorityFromValue(const std::optional<std::string>& valueBytes) {
    if (!valueBytes || valueBytes->size() != 4) return svc::kNormalPriority;
    const auto* b = reinterpret_cast<const unsigned char*>(valueBytes->data());
    uint32_t priority = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
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
    bool stop = false;
    if (control == svc::kControlStop) {
        status.currentState = svc::kStopPending;
        failureNumber = 2;
        stop = true;
    } else if (control == svc::kControlShutdown) {
        ++status.checkPoint;
        status.currentState = svc::kStopPending;
        failureNumber = 1;
        stop = true;
    }
    if (!report()) logMessage(u"SetServiceStatus %d failed %d", failureNumber, int(lastError()));
    if (stop) sendShutdown(java::kStopReason);
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
    if (!reportStoppedOnWorkerEnd(exitCode, status.currentState)) return;
    status.currentState = svc::kStopped;
    if (!report()) logMessage(u"SetServiceStatus 10 failed %d", int(lastError()));
    logMessage(u"service stopped set");
}

}  // namespace wl
