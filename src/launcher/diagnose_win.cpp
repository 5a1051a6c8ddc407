// /diagnose: the launch sequence of /run up to the point where the JVM would
// be created, through the same decisions, told as a report instead. Nothing
// is extracted, no lock is taken, no per-run directory is made and no JVM is
// created; the jvm.dll the search takes is loaded, as the search itself does.
#include <algorithm>

#include "base/process_state.h"
#include "base/text.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/messages.h"
#include "config/store.h"
#include "diag/console.h"
#include "diag/log.h"
#include "diag/message.h"
#include "diag/report.h"
#include "files/extract.h"
#include "files/pathenv.h"
#include "files/paths.h"
#include "files/tempdir.h"
#include "instance/instance.h"
#include "jre/jvm.h"
#include "jvm/java_vm_launcher.h"
#include "jvm/launch_thread.h"
#include "launcher/launcher.h"
#include "options/vmoptions.h"
#include "service/commands.h"
#include "service/service.h"

namespace wl {
namespace {

// The report under way: finished by exitLauncher when a fatal error the
// report does not foresee ends the process, so that its JSON stays whole.
ReportWriter* openReport = nullptr;

void toStdout(const std::u16string& piece) { writeStdout(piece); }

const char* kindName(LocationKind kind) {
    static const char* const names[] = {"none", "search path", "directory", "environment variable", "registry"};
    return names[static_cast<int>(kind)];
}

// Told of the search by LoadDLL and findJre; writes each step with its
// candidates. A candidate is held back until the next event, so that the
// verdict of loading its jvm.dll replaces that of its checks.
class SearchReport final : public SearchObserver {
public:
    explicit SearchReport(ReportWriter& report) : report_(report) {}

    void step(const char* what, const std::string& argument) override {
        endStep();
        report_.open(nullptr);
        report_.narrow("step", what);
        if (!argument.empty()) report_.narrow("argument", argument);
        inStep_ = true;
    }

    void candidate(const std::string& javaExe, const std::string& version, JavaVerdict verdict,
                   const char* why) override {
        // The verdict of loading its jvm.dll follows that of its checks.
        if (!held_ || javaExe != javaExe_) {
            flush();
            version_.clear();
        }
        held_ = true;
        javaExe_ = javaExe;
        if (!version.empty()) version_ = version;
        verdict_ = verdict;
        why_ = why;
    }

    void loaded(const std::string& library, LocationKind kind, const std::string& location) override {
        endSearch();
        report_.open("jvm library");
        report_.narrow("path", library);
        report_.narrow("found by", kindName(kind));
        report_.narrow("location", location);
        report_.close();
    }

    void failed(int32_t message, const std::u16string* argument, const char* reason) override {
        endSearch();
        failure = message;
        failureReason = reason;
        if (argument) failureArgument = *argument;
        hasArgument = argument != nullptr;
    }

    // Ends the search's part of the report (the search ended in a fatal error
    // that LoadDLL does not report, or did not run).
    void endSearch() {
        if (!searchOpen_) return;
        endStep();
        report_.close();  // steps
        report_.close();  // jre search
        searchOpen_ = false;
    }

    void beginSearch() {
        report_.open("jre search");
        report_.narrow("minimum", getConfigString(cfg::minJavaVersion, kBufferSize));
        report_.narrow("maximum", getConfigString(cfg::maxJavaVersion, kBufferSize));
        report_.narrow("sequence", getConfigString(cfg::jreSearchSequence, kBufferSize));
        report_.openList("steps");
        searchOpen_ = true;
    }

    int32_t failure = 0;
    const char* failureReason = nullptr;
    std::u16string failureArgument;
    bool hasArgument = false;

private:
    void flush() {
        if (!held_) return;
        if (!listOpen_) {
            if (!inStep_) step("search", std::string());
            report_.openList("candidates");
            listOpen_ = true;
        }
        report_.open(nullptr);
        report_.narrow("java", javaExe_);
        report_.narrow("version", version_);
        report_.narrow("verdict", verdictName(verdict_));
        if (why_) report_.narrow("detail", why_);
        report_.close();
        held_ = false;
        version_.clear();
    }

    void endStep() {
        flush();
        if (listOpen_) report_.close();
        if (inStep_) report_.close();
        listOpen_ = inStep_ = false;
    }

    ReportWriter& report_;
    bool searchOpen_ = false, inStep_ = false, listOpen_ = false, held_ = false;
    std::string javaExe_, version_;
    const char* why_ = nullptr;
    JavaVerdict verdict_ = JavaVerdict::Accepted;
};

void reportExecutable(ReportWriter& report, const std::vector<std::string>& included) {
    report.text("executable", modulePathWide());
    report.open("block");
    report.number("size", configBlockEnd - configBlockStart);
    report.number("settings", int64_t(configStore.settings.size()));
    report.openList("included files");
    for (const std::string& name : included) report.narrow(nullptr, name);
    report.close();
    report.close();
    // The language the message sections were chosen for.
    report.narrow("language", localeLanguage);
    report.narrow("country", localeCountry);
}

void reportOptions(ReportWriter& report, const VmOptionList& list, const OptionTrace& trace) {
    report.openList("options files");
    for (const auto& [name, read] : trace.files) {
        report.open(nullptr);
        report.text("file", name);
        report.flag("read", read);
        report.close();
    }
    report.close();
    report.openList("version conditions");
    for (const auto& [condition, matched] : trace.conditions) {
        report.open(nullptr);
        report.narrow("condition", condition);
        report.flag("matched", matched);
        report.close();
    }
    report.close();
    report.openList("jvm options");
    for (std::size_t i = 0; i < list.size(); ++i) {
        report.open(nullptr);
        report.narrow("option", list[i]);
        if (i < trace.origins.size()) {
            report.narrow("source", optionSourceName(trace.origins[i].source));
            const int32_t file = trace.origins[i].file;
            if (file >= 0) report.text("file", trace.files[std::size_t(file)].first);
        }
        report.close();
    }
    report.close();
}

// The pieces of one path list (class path 121 or module path 132), each with
// the entries it added.
void reportPath(ReportWriter& report, const char* label, int32_t id, const OptionTrace& trace) {
    report.openList(label);
    for (const PathTraceEntry& entry : trace.paths) {
        if (entry.list != id) continue;
        report.open(nullptr);
        report.narrow("piece", entry.piece);
        report.narrow("state", pathStateName(entry.state));
        report.openList("entries");
        for (const std::string& path : splitList(entry.added)) report.narrow(nullptr, path);
        report.close();
        report.close();
    }
    report.close();
}

void reportInstance(ReportWriter& report, const InstanceState& instance) {
    report.open("single instance");
    report.flag("enabled", instance.singleInstance);
    report.narrow("semaphore", instance.name);
    report.flag("held by another copy", instance.held);
    if (instance.held) report.number("other process", instance.otherProcess);
    report.close();
}

void reportService(ReportWriter& report) {
    ServiceFacts facts = inspectConfiguredService();
    report.open("service");
    report.text("name", serviceName);
    report.flag("manager reachable", facts.managerOpened);
    report.flag("installed", facts.installed);
    if (facts.statusKnown) report.narrow("state", serviceStateName(facts.state));
    if (facts.configKnown) report.narrow("start type", startTypeName(facts.startType));
    if (!facts.account.empty()) report.text("account", facts.account);
    report.close();
}

}  // namespace

int diagnoseLaunch(const std::u16string& programPath, std::vector<std::u16string> arguments) {
    bool json = !arguments.empty() && arguments.front() == u"--json";
    if (json) arguments.erase(arguments.begin());
    // As /run with these arguments: the first names the service.
    serviceName = arguments.empty() ? getConfigWide(cfg::configuredServiceName, kBufferSize)
                                    : fitToCapacity(arguments.front(), kBufferSize);
    isServiceProcess = false;
    runInConsole = true;
    arguments.insert(arguments.begin(), programPath);
    logMessage(u"diagnosing the launch");

    ReportWriter report(json, toStdout, fileApiCodec());
    openReport = &report;
    atLauncherExit([] {
        if (!openReport) return;
        openReport->text("result", u"ended by a fatal error");
        openReport->finish();
    });
    SearchReport search(report);

    // Included files: their names are checked as extraction checks them,
    // and nothing is written.
    const int32_t fileCount = getConfigInt(cfg::includedFileCount);
    std::vector<std::string> included =
        fileCount > 0 ? splitIncludedFileNames(dupConfigString(cfg::includedFileNames)) : std::vector<std::string>();
    while (included.size() > std::size_t(std::max(fileCount, 0))) included.pop_back();
    reportExecutable(report, included);
    for (const std::string& name : included) {
        if (!checkIncludedFileName(name, fileApiCodec()).empty()) {
            const std::u16string code = u"11";
            search.failed(cfg::internalError, &code, "an included file's name leaves the per-run directory");
            break;
        }
    }

    prependNativeLibDirs();
    const InstanceState instance = inspectSingleInstance();
    instanceName = instance.name;

    VmOptionList options;
    OptionTrace trace;
    if (!search.failure) {
        search.beginSearch();
        // Packed archives are left as they are: their preparation writes
        // into the runtime, and the checks look at java.exe and jvm.dll only.
        LoadDLL([](const std::string&) {}, &search);
        search.endSearch();
    }
    if (!search.failure) {
        std::optional<PathFailure> failure = traceVmOptions(currentLauncherProperties(), arguments, options, trace);
        reportOptions(report, options, trace);
        reportPath(report, "class path", cfg::classPath, trace);
        reportPath(report, "module path", cfg::modulePath, trace);
        if (failure) {
            search.failureArgument = fitToCapacity(fileApiCodec().widen(failure->argument), kBufferSize);
            search.hasArgument = true;
            search.failure = failure->message;
            search.failureReason = "a required path entry is missing";
        }
    }
    if (!search.failure) {
        const std::vector<std::u16string> words = composeMainArguments(arguments, windowsJavaVmPlatform());
        report.text("main class", words[1]);
        report.openList("arguments");
        for (std::size_t i = 6; i < words.size(); ++i) report.text(nullptr, words[i]);
        report.close();
        JavaVMInitArgs initArgs{};
        std::vector<JavaVMOption> records;
        fillInitArgs(initArgs, records, options);
        report.number("stack size", launchStackSize(initArgs));
        report.open("redirection");
        report.text("error", words[2]);
        report.text("output", words[3]);
        report.close();
    }

    report.open("per-run directory");
    report.flag("needed", !included.empty());
    if (!included.empty()) {
        // /run names it after a fresh temporary file, which only creating one
        // gives: the directory it would be made in is told, not the name.
        report.narrow("parent", baseTempDir());
        report.text("pattern", u"vekNNNN.tmp_dirSECONDS");
    }
    report.flag("created", false);
    report.close();
    reportInstance(report, instance);
    reportService(report);

    report.open("result");
    // A second copy in single-instance mode gives way to the first and ends
    // with exit code 0, as /run would.
    const bool givesWay = instance.singleInstance && instance.held;
    report.flag("would start", search.failure == 0 && !givesWay);
    if (givesWay) report.flag("gives way", true);
    if (search.failure) {
        const std::u16string message = substitutePlaceholder(lookupMessage(search.failure, fileApiCodec()),
                                                             search.hasArgument ? &search.failureArgument : nullptr);
        report.number("message id", search.failure);
        report.text("message", message);
        report.narrow("reason", search.failureReason);
    }
    report.close();
    report.finish();
    openReport = nullptr;
    return search.failure ? 1 : 0;
}

}  // namespace wl
