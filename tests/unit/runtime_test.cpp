// The service process's decisions: the worker's command line, its priority,
// the end states, and the control handler with its one stop line.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "base/tokenize.h"
#include "launcher/cmdline.h"
#include "service/commands.h"
#include "service/runtime.h"
#include "diag/log.h"
#include "test_support.h"

using namespace wl;
using testing_support::clearLog;
using testing_support::logLines;
using testing_support::utf8;

TEST(ServiceRuntime, WorkerCommandLineQuotesWhatTheSplitterWouldCut) {
    EXPECT_EQ(workerCommandLine({u"C:\\My Apps\\app.exe"}, u"MyService", {u"MyService", u"a", u"b c"}).line,
              u"\"C:\\My Apps\\app.exe\" MyService a \"b c\" __qar_restart");
    // The rest of the process's own command line comes before the start
    // arguments; an element with a double quote goes in single quotes, one
    // with a single quote or none at all in double quotes.
    EXPECT_EQ(workerCommandLine({u"C:\\O'Neil\\app.exe", u"x", u"say \"hi\""}, u"My Service",
                                {u"My Service", u"", u"it's"})
                  .line,
              u"\"C:\\O'Neil\\app.exe\" \"My Service\" x 'say \"hi\"' \"\" \"it's\" __qar_restart");
}

// Every combination of two elements drawn from all texts of up to four
// characters over a letter, a space and both quotes, in every place of the
// worker's command line: the worker splits it back into the same elements
// and takes the worker role; an element with both quotes is refused by name.
TEST(ServiceRuntime, WorkerCommandLineSplitsBackIntoItsElements) {
    std::vector<std::u16string> texts{u""};
    for (std::size_t from = 0; texts.back().size() < 4; ) {
        const std::size_t to = texts.size();
        for (std::size_t i = from; i < to; ++i)
            for (char16_t c : {u'a', u' ', u'\'', u'"'}) texts.push_back(texts[i] + c);
        from = to;
    }
    ASSERT_EQ(texts.size(), 341u);
    auto writable = [](const std::u16string& t) {
        return t.find(u'\'') == std::u16string::npos || t.find(u'"') == std::u16string::npos;
    };
    std::size_t refused = 0;
    for (const std::u16string& x : texts) {
        for (const std::u16string& y : texts) {
            WorkerCommandLine command = workerCommandLine({u"C:\\" + x, y}, x, {x, y, x});
            if (!writable(x) || !writable(y)) {
                ++refused;
                EXPECT_TRUE(command.line.empty());
                ASSERT_TRUE(command.unwritable.has_value());
                EXPECT_EQ(*command.unwritable, writable(x) ? y : u"C:\\" + x);
                continue;
            }
            ASSERT_FALSE(command.unwritable.has_value());
            std::vector<std::u16string> tokens;
            splitCommandLine(command.line, tokens);
            const std::vector<std::u16string> expected{u"C:\\" + x, x, y, y, x, kRestartMarker};
            ASSERT_EQ(tokens, expected) << utf8(command.line);
            Dispatch worker = classifyArguments({tokens.begin() + 1, tokens.end()});
            EXPECT_EQ(worker.role, Role::Worker);
            EXPECT_EQ(worker.arguments, (std::vector<std::u16string>{x, y, y, x}));
        }
    }
    EXPECT_GT(refused, 0u);
}

TEST(ServiceRuntime, NameFromTheDispatcher) {
    EXPECT_EQ(serviceNameFromArguments({}), u"unknown");
    EXPECT_EQ(serviceNameFromArguments({u""}), u"unknown");
    EXPECT_EQ(serviceNameFromArguments({std::u16string(5999, u'n')}).size(), 5999u);
    EXPECT_EQ(serviceNameFromArguments({std::u16string(6000, u'n')}), u"unknown");
}

TEST(ServiceRuntime, PriorityOnlyAPriorityClassFromAFourByteValue) {
    auto dword = [](uint32_t v) {
        return std::string{char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24)};
    };
    for (uint32_t priorityClass : {0x40u, 0x4000u, 0x20u, 0x8000u, 0x80u, 0x100u}) {
        clearLog();
        EXPECT_EQ(workerPriorityFromValue(dword(priorityClass)), priorityClass);
        EXPECT_EQ(logLines(), (std::vector<std::string>{"using priority " + std::to_string(priorityClass)}));
    }
    // Creation flags that are no priority class: suspended, debugged, a new
    // console, a class with a flag added, none at all.
    for (uint32_t flags : {0x4u, 0x1u, 0x2u, 0x10u, 0x24u, 0x4004u, 0u, 0xFFFFFFFFu}) {
        clearLog();
        EXPECT_EQ(workerPriorityFromValue(dword(flags)), 0x20u) << flags;
        EXPECT_EQ(logLines(), (std::vector<std::string>{"priority " + std::to_string(int(flags)) +
                                                        " is not a priority class, using normal priority"}));
    }
    clearLog();
    EXPECT_EQ(workerPriorityFromValue(std::string("\x00\x40\x00", 3)), 0x20u);
    EXPECT_EQ(workerPriorityFromValue(std::nullopt), 0x20u);
    EXPECT_TRUE(logLines().empty());
}

namespace {

// The handler's side with a channel that can be written once, as a pipe's
// write end that is closed after the stop line, and a worker whose steps
// fail on demand.
class FakeControl final : public ServiceControl {
public:
    std::vector<ServiceStatusRecord> reports;
    std::string sent;
    bool channelOpen = true;
    bool reportFails = false;
    uint32_t error = 0;

    bool pipesFail = false;
    bool startFails = false;
    int pipesCreated = 0;
    std::vector<std::pair<std::u16string, uint32_t>> started;  // command line, priority
    std::function<void()> whileRunning;                         // what happens during the wait
    uint32_t exitCode = 0;
    // The worker ends by itself after this many one-second waits (0: at
    // the first); ended, it ends at the next one.
    int waitsUntilEnd = 0;
    int waits = 0;
    bool endedByForce = false;
    uint32_t now = 5000;  // the tick count; each wait advances it by its length
    std::vector<std::pair<ServiceEvent, std::u16string>> events;

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
    bool createPipes() override {
        ++pipesCreated;
        if (pipesFail) logMessage(u"CreatePipe error 2 (8)");
        return !pipesFail;
    }
    uint32_t workerPriority() override { return 0x4000; }
    bool startWorker(const std::u16string& commandLine, uint32_t priority) override {
        if (startFails) {
            error = 2;
            return false;
        }
        started.emplace_back(commandLine, priority);
        return true;
    }
    bool waitForWorker(uint32_t millis) override {
        if (waits++ == 0 && whileRunning) whileRunning();
        now += millis;
        return endedByForce || waits > waitsUntilEnd;
    }
    uint32_t workerExitCode() override { return exitCode; }
    uint32_t workerProcessId() override { return 77; }
    void endWorkerTree() override {
        endedByForce = true;
        exitCode = 1;
    }
    uint32_t tickCount() override { return now; }
    void reportEvent(ServiceEvent event, const std::u16string& argument) override {
        events.emplace_back(event, argument);
    }
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
    // Each stop request advances the check point.
    EXPECT_EQ(control.reports[0].checkPoint, 1u);
    EXPECT_EQ(control.reports[1].checkPoint, 2u);
    EXPECT_EQ(control.reports[1].waitHint, svc::kStopWaitHintMillis);
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
    // Stop, shutdown and preshutdown.
    EXPECT_EQ(control.reports[0].controlsAccepted, 0x105u);
    EXPECT_TRUE(control.sent.empty());

    const std::pair<uint32_t, const char*> cases[] = {
        {4, "SetServiceStatus 3 failed 5"}, {1, "SetServiceStatus 2 failed 5"}, {5, "SetServiceStatus 1 failed 5"},
        {15, "SetServiceStatus 4 failed 5"}};
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

// The service process's sequence: with no worker to stop, every failed step
// ends in stopped with our own exit code, so that no stop can wait for a
// worker that never comes, even one asked for before the step failed.
TEST(ServiceRuntime, NoWorkerMeansStoppedWithOurOwnExitCode) {
    const std::vector<std::u16string> program{u"C:\\app.exe"};
    struct Case {
        const char* what;
        std::vector<std::u16string> arguments;
        bool pipesFail, startFails;
        int pipesCreated;
        std::string logged;
    };
    const Case cases[] = {
        {"argument with both quotes", {u"Svc", u"a'b\"c"}, false, false, 0,
         "cannot pass a'b\"c to the worker: it holds both kinds of quote"},
        {"longer than a process can be given", {u"Svc", std::u16string(32738, u'x')}, false, false, 0,
         "the worker command line has 32767 characters, more than a process can be given"},
        {"pipes", {u"Svc"}, true, false, 1, "CreatePipe error 2 (8)"},
        {"start", {u"Svc"}, false, true, 1, "could not start process C:\\app.exe Svc __qar_restart (2)"},
    };
    for (const Case& c : cases) {
        for (bool stopFirst : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (stopFirst ? ", stop asked for first" : ""));
            FakeControl control;
            control.pipesFail = c.pipesFail;
            control.startFails = c.startFails;
            control.reportRunning();
            if (stopFirst) control.handleControl(svc::kControlStop);
            clearLog();
            EXPECT_FALSE(control.runWorker(program, u"Svc", c.arguments));
            EXPECT_EQ(control.pipesCreated, c.pipesCreated);
            EXPECT_TRUE(control.started.empty());
            const std::vector<std::string> lines = logLines();
            EXPECT_NE(std::find(lines.begin(), lines.end(), c.logged), lines.end()) << c.logged;
            const ServiceStatusRecord& last = control.reports.back();
            EXPECT_EQ(last.currentState, svc::kStopped);
            EXPECT_EQ(last.win32ExitCode, 1066u);
            EXPECT_EQ(last.serviceSpecificExitCode, 5000u);
        }
    }
}

TEST(ServiceRuntime, AWorkerRunsUntilItEnds) {
    FakeControl control;
    control.reportRunning();
    control.exitCode = 1;
    control.whileRunning = [&] {
        EXPECT_EQ(control.reports.back().currentState, svc::kRunning);
        control.handleControl(svc::kControlStop);
    };
    EXPECT_TRUE(control.runWorker({u"C:\\app.exe", u"x"}, u"Svc", {u"Svc", u"it's"}));
    // The longest line a process can be given still starts one.
    FakeControl longest;
    EXPECT_TRUE(longest.runWorker({u"C:\\app.exe"}, u"Svc", {u"Svc", std::u16string(32737, u'x')}));
    ASSERT_EQ(longest.started.size(), 1u);
    EXPECT_EQ(longest.started[0].first.size(), 32766u);
    EXPECT_EQ(control.started, (std::vector<std::pair<std::u16string, uint32_t>>{
                                   {u"C:\\app.exe Svc x \"it's\" __qar_restart", 0x4000}}));
    EXPECT_EQ(control.sent, "0\n");
    // Stopped after the stop although the worker's exit code was not 0.
    EXPECT_EQ(control.reports.back().currentState, svc::kStopped);
    EXPECT_EQ(control.reports.back().win32ExitCode, 0u);
}


// A stop that the application does not answer: while it is pending, every
// second's report advances the check point within a short wait hint; when
// the budget is spent the worker is ended, once, and only then is stopped
// reported, as an intentional stop (no error code, so no recovery).
TEST(ServiceRuntime, ThePendingStopShowsProgressUntilTheBudgetEndsTheWorker) {
    FakeControl control;
    control.stopTimeoutSeconds = 3;
    control.waitsUntilEnd = 100;  // ignores the stop line
    control.whileRunning = [&] { control.handleControl(svc::kControlStop); };
    clearLog();
    EXPECT_TRUE(control.runWorker({u"C:\\app.exe"}, u"Svc", {u"Svc"}));
    EXPECT_TRUE(control.endedByForce);
    EXPECT_EQ(control.waits, 4);
    ASSERT_EQ(control.reports.size(), 6u);
    EXPECT_EQ(control.reports[0].currentState, svc::kRunning);
    for (std::size_t i = 1; i <= 4; ++i) {
        EXPECT_EQ(control.reports[i].currentState, svc::kStopPending) << i;
        EXPECT_EQ(control.reports[i].checkPoint, uint32_t(i)) << i;
        EXPECT_EQ(control.reports[i].waitHint, svc::kStopWaitHintMillis) << i;
    }
    const ServiceStatusRecord& last = control.reports.back();
    EXPECT_EQ(last.currentState, svc::kStopped);
    EXPECT_EQ(last.win32ExitCode, 0u);
    EXPECT_EQ(last.checkPoint, 0u);
    EXPECT_EQ(control.events, (std::vector<std::pair<ServiceEvent, std::u16string>>{
                                  {ServiceEvent::Started, u"77"}, {ServiceEvent::ForcedEnd, u"3"},
                                  {ServiceEvent::Stopped, u""}}));
    const std::vector<std::string> lines = logLines();
    for (const char* line : {"the application did not end within 3 s of the stop line",
                             "ending the worker and every process it started", "process terminated with exit code 1",
                             "service stopped set"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
}

TEST(ServiceRuntime, EventsAndBudgetsOfOtherEnds) {
    {
        // The application answers within the budget: nothing is ended.
        FakeControl control;
        control.waitsUntilEnd = 2;
        control.whileRunning = [&] { control.handleControl(svc::kControlStop); };
        EXPECT_TRUE(control.runWorker({u"C:\\app.exe"}, u"Svc", {u"Svc"}));
        EXPECT_FALSE(control.endedByForce);
        EXPECT_EQ(control.reports.back().currentState, svc::kStopped);
        EXPECT_EQ(control.events, (std::vector<std::pair<ServiceEvent, std::u16string>>{
                                      {ServiceEvent::Started, u"77"}, {ServiceEvent::Stopped, u""}}));
    }
    {
        // A worker that fails on its own: its code is written, the status
        // stays as it was for the manager's recovery.
        FakeControl control;
        control.exitCode = 3;
        control.waitsUntilEnd = 5;
        EXPECT_TRUE(control.runWorker({u"C:\\app.exe"}, u"Svc", {u"Svc"}));
        EXPECT_EQ(control.reports.back().currentState, svc::kRunning);
        EXPECT_EQ(control.reports.size(), 1u);  // no progress reports without a stop
        EXPECT_EQ(control.events, (std::vector<std::pair<ServiceEvent, std::u16string>>{
                                      {ServiceEvent::Started, u"77"}, {ServiceEvent::WorkerFailed, u"3"}}));
    }
    {
        // Preshutdown stops within its own, shorter timeout; a later
        // shutdown control does not start the budget again.
        FakeControl control;
        control.preshutdownTimeoutSeconds = 1;
        control.waitsUntilEnd = 100;
        control.whileRunning = [&] {
            control.handleControl(svc::kControlPreshutdown);
            control.handleControl(svc::kControlShutdown);
        };
        EXPECT_TRUE(control.runWorker({u"C:\\app.exe"}, u"Svc", {u"Svc"}));
        EXPECT_TRUE(control.endedByForce);
        EXPECT_EQ(control.waits, 2);
        EXPECT_EQ(control.sent, "0\n");
    }
}
