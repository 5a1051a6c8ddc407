// The service process's decisions: the worker's command line, its priority,
// the end states, and the control handler with its one stop line.
#include <gtest/gtest.h>

#include "service/commands.h"
#include "service/runtime.h"
#include "test_support.h"

using namespace wl;
using testing_support::clearLog;
using testing_support::logLines;

TEST(ServiceRuntime, WorkerCommandLineQuotesOnlyElementsWithSpaces) {
    const std::u16string exe = u"C:\\My Apps\\app.exe";
    EXPECT_EQ(workerCommandLine({exe}, u"MyService", {u"MyService", u"a", u"b c"}),
              u"\"C:\\My Apps\\app.exe\" MyService a \"b c\" __qar_restart");
    // The rest of the process's own command line comes before the start
    // arguments; a quote inside an element is not escaped.
    EXPECT_EQ(workerCommandLine({u"C:\\app.exe", u"x", u"say \"hi\""}, u"My Service", {u"My Service"}),
              u"C:\\app.exe \"My Service\" x \"say \"hi\"\" __qar_restart");
}

TEST(ServiceRuntime, NameFromTheDispatcher) {
    EXPECT_EQ(serviceNameFromArguments({}), u"unknown");
    EXPECT_EQ(serviceNameFromArguments({u""}), u"unknown");
    EXPECT_EQ(serviceNameFromArguments({std::u16string(5999, u'n')}).size(), 5999u);
    EXPECT_EQ(serviceNameFromArguments({std::u16string(6000, u'n')}), u"unknown");
}

TEST(ServiceRuntime, PriorityOnlyFromAFourByteValue) {
    EXPECT_EQ(workerPriorityFromValue(std::string("\x00\x40\x00\x00", 4)), 0x4000u);
    EXPECT_EQ(workerPriorityFromValue(std::string("\x00\x40\x00", 3)), 0x20u);
    EXPECT_EQ(workerPriorityFromValue(std::nullopt), 0x20u);
}

namespace {

// The handler's side with a channel that can be written once, as a pipe's
// write end that is closed after the stop line.
class FakeControl final : public ServiceControl {
public:
    std::vector<ServiceStatusRecord> reports;
    std::string sent;
    bool channelOpen = true;
    bool reportFails = false;
    uint32_t error = 0;

    bool report() override {
        if (reportFails) {
            error = 5;
            return false;
        }
        reports.push_back(status);
        return true;
    }
    uint32_t lastError() override { return error; }

protected:
    bool writeChannel(std::string_view text) override {
        if (!channelOpen) {
            error = 6;  // the handle is gone
            return false;
        }
        sent += text;
        return true;
    }
    void closeChannel() override { channelOpen = false; }
};

}  // namespace

TEST(ServiceRuntime, StopSendsTheStopLineOnceAndLaterRequestsOnlyReport) {
    FakeControl control;
    control.openChannel();
    clearLog();
    control.handleControl(svc::kControlStop);
    ASSERT_EQ(control.reports.size(), 1u);
    EXPECT_EQ(control.reports[0].currentState, svc::kStopPending);
    EXPECT_EQ(control.sent, "0\n");
    EXPECT_FALSE(control.channelOpen);

    control.handleControl(svc::kControlShutdown);
    EXPECT_EQ(control.sent, "0\n");
    ASSERT_EQ(control.reports.size(), 2u);
    EXPECT_EQ(control.reports[1].checkPoint, 1u);
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              "control handler request 1", "sending shutdown1 0", "shutdown sent",
                              "control handler request 5", "sending shutdown1 0", "sending shutdown failed",
                              "error code 6", "shutdown sent"}));
}

TEST(ServiceRuntime, OtherControlsReportUnchangedAndFailedReportsAreLoggedByNumber) {
    FakeControl control;
    control.handleControl(4);  // interrogate
    ASSERT_EQ(control.reports.size(), 1u);
    EXPECT_EQ(control.reports[0].currentState, svc::kRunning);
    EXPECT_EQ(control.reports[0].waitHint, 50000u);
    EXPECT_EQ(control.reports[0].controlsAccepted, 5u);
    EXPECT_TRUE(control.sent.empty());

    const std::pair<uint32_t, const char*> cases[] = {
        {4, "SetServiceStatus 3 failed 5"}, {1, "SetServiceStatus 2 failed 5"}, {5, "SetServiceStatus 1 failed 5"}};
    for (const auto& [code, line] : cases) {
        FakeControl failing;
        failing.openChannel();
        failing.reportFails = true;
        clearLog();
        failing.handleControl(code);
        ASSERT_GE(logLines().size(), 2u);
        EXPECT_EQ(logLines()[1], line);
        // The stop line goes out although the report failed.
        EXPECT_EQ(failing.sent, code == 4 ? "" : "0\n");
    }
}

TEST(ServiceRuntime, AStopBeforeTheWorkerExistsIsSentOnceItsInputDoes) {
    FakeControl control;
    control.reportRunning();
    control.handleControl(svc::kControlStop);
    control.handleControl(svc::kControlStop);
    EXPECT_EQ(control.sent, "");
    control.openChannel();
    EXPECT_EQ(control.sent, "0\n");
    EXPECT_FALSE(control.channelOpen);
    // Starting the worker does not cover up the pending stop.
    control.reportRunning();
    EXPECT_EQ(control.reports.back().currentState, svc::kStopPending);
    EXPECT_EQ(control.reports.size(), 3u);
}

TEST(ServiceRuntime, EndStates) {
    struct Case {
        uint32_t control, exitCode;
        bool reportFails;
        uint32_t state;
        const char* lastLine;
    };
    const Case cases[] = {
        {0, 0, false, svc::kStopped, "service stopped set"},
        {0, 3, false, svc::kRunning, "process terminated with exit code 3"},
        {svc::kControlStop, 3, false, svc::kStopped, "service stopped set"},
        {svc::kControlShutdown, 1, true, svc::kStopped, "service stopped set"},
    };
    for (const Case& c : cases) {
        FakeControl control;
        control.openChannel();
        control.reportRunning();
        if (c.control) control.handleControl(c.control);
        control.reportFails = c.reportFails;
        clearLog();
        control.workerEnded(c.exitCode);
        EXPECT_EQ(control.status.currentState, c.state) << c.exitCode;
        EXPECT_EQ(logLines().back(), c.lastLine);
        if (c.reportFails) {
            EXPECT_EQ(logLines()[1], "SetServiceStatus 10 failed 5");
        }
    }
    FakeControl control;
    control.workerNotStarted();
    ASSERT_EQ(control.reports.size(), 1u);
    EXPECT_EQ(control.reports[0].currentState, svc::kStopped);
    EXPECT_EQ(control.reports[0].win32ExitCode, 1066u);
    EXPECT_EQ(control.reports[0].serviceSpecificExitCode, 5000u);
}
