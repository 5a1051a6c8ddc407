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

void ServiceControl::handleControl(uint32_t control) {
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
    logMessage(u"sending shutdown1 %d", reason);
    char line[16];
    std::snprintf(line, sizeof line, java::kStopLineFormat, reason);
    if (!writeChannel(line)) {
        logMessage(u"sending shutdown failed");
        logMessage(u"error code %d", int(lastError()));
    }
    closeChannel();
    logMessage(u"shutdown sent");
}

}  // namespace wl
