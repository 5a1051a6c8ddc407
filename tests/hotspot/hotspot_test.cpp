// The JNI sequence against a real HotSpot: the installed JDK's libjvm.so,
// loaded with dlopen, the project's runtime jar and a small application
// (tests/hotspot/probe). A process can create only one JVM, so each case runs
// this program again as a driver ("--driver SCENARIO DIR") in a child process
// and checks what it printed and left behind.
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <thread>

#include "base/process_state.h"
#include "config/entries.h"
#include "config/store.h"
#include "jvm/java_vm_launcher.h"
#include "jvm/launch_thread.h"
#include "test_support.h"

extern char** environ;

// The host build runs under AddressSanitizer. With a JVM in the process,
// LeakSanitizer cannot walk its threads at exit (it stops with a fatal error),
// and the JVM's memory is not the launcher's to free: leaks are not looked
// for here. Every other check stays on.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

namespace fs = std::filesystem;
using testing_support::utf8;

// The executable's wide path, which the launcher sets inside the JVM over the
// narrow one it passed as an option.
constexpr char16_t kWideModulePath[] = u"/opt/\u00c4pp/app\U0001F600.exe";
constexpr char kNarrowModulePath[] = "/opt/app.exe";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// --- The driver: one launch in this process ---

void sameText(std::u16string&) {}
// The settings' code page is 1252 here: 0x80-0x9F are characters.
std::u16string widen1252(std::string_view bytes) { return testing_support::kCodePage1252.widen(bytes); }
std::u16string samePath(const std::u16string& path) { return path; }
std::u16string wideModulePath() { return kWideModulePath; }

// The quarlo family's helper library: present, but its registration fails.
int helperLibrary;
unsigned char registerNatives(JNIEnv* env, void* library, void (*logError)(const char16_t*, ...)) {
    logError(u"registerNatives %d %d", env != nullptr, library == &helperLibrary);
    return 0;
}
void* loadHelper(const std::u16string& path) { return path == u"C:\\inst\\.quarlo\\qarinst.dll" ? &helperLibrary : nullptr; }
void* findRegisterNatives(void* library, const char* name) {
    return library == &helperLibrary && std::string(name) == "registerNatives" ? reinterpret_cast<void*>(&registerNatives)
                                                                               : nullptr;
}
std::u16string installation() { return u"C:\\inst"; }
void reportFatal(int32_t id, const std::u16string*) {
    std::printf("fatal %d\n", id);
    std::fflush(stdout);
}

int drive(const std::string& scenario, const fs::path& dir, const std::string& tempDir) {
    void* libjvm = dlopen(WL_LIBJVM, RTLD_NOW);
    if (!libjvm) {
        std::printf("dlopen: %s\n", dlerror());
        return 2;
    }
    wl::createJavaVmEntry = reinterpret_cast<wl::FunctionAddress>(dlsym(libjvm, "JNI_CreateJavaVM"));

    const std::string runtimeJar = WL_JAVA_DIR "/vennic-runtime.jar";
    const std::string probeJar = WL_PROBE_DIR "/probe.jar";
    std::string classPath = runtimeJar + ":" + probeJar;
    std::vector<std::string> extraOptions;
    auto& settings = wl::configStore.settings;
    settings[wl::cfg::mainClass] = "probe.Probe";
    std::vector<std::u16string> arguments{testing_support::wide(kNarrowModulePath)};
    wl::LauncherPropertyInputs properties;
    properties.semaphoreName = "Local\\probe";
    properties.modulePath = kNarrowModulePath;
    properties.tempDir = tempDir;
    properties.unextractedPosition = 1234;
    properties.path = "/p1:/p2";
    properties.consoleCodepage = 1252;

    const std::string d = dir.string() + "/";
    if (scenario == "report") {
        // The quarlo family: its launcher class, the splash settings through
        // the vennic class, the helper library.
        wl::flavourCode = 'q';
        properties.quarlo = true;
        classPath = WL_JAVA_DIR "/qarruntime.jar:" + probeJar;
        settings[wl::cfg::splashTextSettings] = "1";
        // Code-page bytes: widened through 1252 (0x97 the em dash, 0x80 the
        // euro sign), never malformed UTF-8.
        settings[wl::cfg::splashLine1Text] = "Loading \xe9 \x97 \x80";
        settings[wl::cfg::splashLine1X] = "10";
        settings[wl::cfg::splashLine1Y] = "-20";
        settings[wl::cfg::splashLine1Colour] = "255,0,0";
        settings[wl::cfg::splashLine1FontSize] = "12";
        settings[wl::cfg::splashLine1FontWeight] = "700";
        settings[wl::cfg::splashLine2Text] = "v1";
        settings[wl::cfg::splashLine2FontWeight] = "1";
        settings[wl::cfg::applicationArguments] = "report " + d + "report.txt 'two words'";
        settings[wl::cfg::redirectStderr] = "1";
        settings[wl::cfg::stderrFile] = "$STDERR";
        settings[wl::cfg::redirectStdout] = "1";
        settings[wl::cfg::stdoutFile] = d + "out.txt";
        writeFile(dir / "out.txt", "old\n");
        for (const char16_t* word : {u"Gr\u00fc\u00dfe", u"\U0001F600", u"-J-Xmx1g", u"-Dsun.locale.formatasdefault=true"})
            arguments.push_back(word);
    } else if (scenario == "module") {
        // Both the runtime and the application in named modules, with the
        // module options the launcher composes for such an application.
        settings[wl::cfg::mainClassInModule] = "1";
        settings[wl::cfg::mainClass] = "probe/probe.Probe";
        settings[wl::cfg::applicationArguments] = "report " + d + "report.txt";
        classPath = "";
        extraOptions = {"--module-path=" + runtimeJar + ":" WL_PROBE_DIR "/probe-module.jar",
                        "--add-opens=probe/probe=com.vennic.runtime", "--add-modules=probe,com.vennic.runtime"};
    } else if (scenario == "throw") {
        settings[wl::cfg::applicationArguments] = "throw";
    } else if (scenario == "app-without-main") {
        settings[wl::cfg::mainClass] = "probe.Probe$NoMain";
    } else if (scenario == "launcher-without-main") {
        classPath = WL_PROBE_DIR "/nomain.jar:" + probeJar;
    } else if (scenario == "no-launcher-class") {
        classPath = probeJar;
    } else if (scenario == "linger") {
        settings[wl::cfg::applicationArguments] = "linger " + d + "late.txt 1500";
    } else if (scenario == "roll") {
        // Both streams into one file that rolls at 1 KiB, three rolled files kept.
        settings[wl::cfg::applicationArguments] = "lines 400";
        settings[wl::cfg::redirectStdout] = settings[wl::cfg::redirectStderr] = "1";
        settings[wl::cfg::stdoutFile] = settings[wl::cfg::stderrFile] = d + "out.log";
        settings[wl::cfg::outputMaxSize] = "1k";
        settings[wl::cfg::outputKeepFiles] = "3";
        properties.additions = wl::outputRollingProperties(wl::configStore);
    } else if (scenario == "serve") {
        settings[wl::cfg::applicationArguments] = "serve " + d + "hook.txt " + d + "ready.txt";
        properties.service = true;
    }

    std::vector<std::string> texts = wl::launcherProperties(properties);
    texts.push_back("-Djava.class.path=" + classPath);
    texts.insert(texts.end(), extraOptions.begin(), extraOptions.end());
    std::vector<JavaVMOption> options;
    for (std::string& text : texts) {
        options.push_back({text.data(), nullptr});
        // The benchmarks give the java launcher the same options.
        std::printf("option %s\n", text.c_str());
    }
    wl::LaunchRecord record{arguments, {JNI_VERSION_1_2, jint(options.size()), options.data(), JNI_TRUE}};
    const wl::JavaVmPlatform platform{sameText,     widen1252,  samePath,           wideModulePath,
                                      installation, loadHelper, findRegisterNatives, reportFatal};

    // On a thread of its own, as in the launcher: HotSpot keeps away from
    // the primordial thread's stack.
    bool succeeded = false;
    std::thread([&] { succeeded = wl::createJvmAndRunMain(record, platform); }).join();
    std::printf("result %d\n", succeeded ? 1 : 0);
    for (const std::string& line : testing_support::logLines()) std::printf("log %s\n", line.c_str());
    std::fflush(stdout);
    return 0;
}

// --- The tests: each runs the driver ---

struct DriverRun {
    int exitCode = -1;
    std::string output;
    bool has(const std::string& line) const { return output.find(line + "\n") != std::string::npos; }
};

// Runs a scenario; whileRunning gets the write end of the child's standard
// input (closed afterwards).
DriverRun runDriver(const std::string& scenario, const fs::path& dir, const std::string& tempDir = "",
                    const std::function<void(int)>& whileRunning = {}) {
    int input[2], output[2];
    if (pipe(input) != 0 || pipe(output) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    for (int fd : {input[0], input[1], output[0], output[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    std::string self = fs::read_symlink("/proc/self/exe");
    std::string dirText = dir.string();
    std::vector<char*> argv{self.data(), const_cast<char*>("--driver"), const_cast<char*>(scenario.c_str()),
                            dirText.data(), const_cast<char*>(tempDir.c_str()), nullptr};
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    DriverRun run;
    if (spawned != 0) {
        close(input[1]);
        close(output[0]);
        return run;
    }
    std::thread feeder([&] {
        if (whileRunning) whileRunning(input[1]);
        close(input[1]);
    });
    char buffer[4096];
    for (ssize_t n; (n = read(output[0], buffer, sizeof buffer)) > 0;) run.output.append(buffer, std::size_t(n));
    close(output[0]);
    feeder.join();
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

class HotSpot : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/wl-hotspot-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

// The arguments, the launcher properties, the wide module name, a redirected
// standard output; the quarlo family's launcher class, the splash settings in
// their order, and its helper told that its natives are there and then, as
// their registration failed, that they are not.
TEST_F(HotSpot, PropertiesArgumentsSplashAndHelperReachJava) {
    DriverRun run = runDriver("report", dir);
    ASSERT_TRUE(run.has("result 1")) << run.output;
    const std::string expected =
        "arg\treport\narg\t" + (dir / "report.txt").string() +
        "\narg\ttwo words\narg\tGr\u00fc\u00dfe\narg\t\U0001F600\narg\t-J-Xmx1g\n"
        "prop\tvennic.semaphoreName\tLocal\\probe\n"
        "prop\tvennic.isQuarlo\ttrue\n"
        "prop\tvennic.isService\t<unset>\n"
        "prop\tvennic.moduleName\t" + utf8(kWideModulePath) + "\n"
        "prop\tsun.java.command\t/opt/app.exe\n"
        "prop\tvennic.tempDir\t\n"
        "prop\tvennic.unextractedPosition\t1234\n"
        "prop\tjava.library.path\t/p1:/p2\n"
        "prop\tvennic.consoleCodepage\tcp1252\n"
        "splash\tenabled=true\tline1.colour=255,0,0\tline1.fontSize=12\tline1.fontWeight=700\t"
        "line1.text=Loading \u00e9 \u2014 \u20ac\tline1.x=10\tline1.y=-20\tline2.colour=\tline2.fontSize=0\tline2.fontWeight=1\t"
        "line2.text=v1\tline2.x=0\tline2.y=0\tsecondFlag=false\n"
        "helper\tfalse\n"
        "module\tnull\n";
    EXPECT_EQ(readFile(dir / "report.txt"), expected);
    EXPECT_EQ(readFile(dir / "out.txt"), "old\nprobe stdout\n") << "standard output appended to its file";
    for (const char* line : {"log param count: 12", "log main class: com/quarlo/runtime/launcher/WinLauncher",
                             "log ERROR: registerNatives 1 1", "log ERROR: registering helper dll failed"})
        EXPECT_TRUE(run.has(line)) << line << "\n" << run.output;
}

TEST_F(HotSpot, MainClassFromANamedModule) {
    DriverRun run = runDriver("module", dir);
    ASSERT_TRUE(run.has("result 1")) << run.output;
    std::string report = readFile(dir / "report.txt");
    EXPECT_EQ(report.rfind("arg\treport\n", 0), 0u) << report;
    EXPECT_NE(report.find("\nmodule\tprobe\n"), std::string::npos) << report;
    EXPECT_TRUE(run.has("log param 1: /probe/probe.Probe")) << run.output;
}

TEST_F(HotSpot, FailuresOfMain) {
    struct {
        const char* scenario;
        std::vector<std::string> lines;
    } cases[] = {
        {"throw",
         {"log ERROR: an exception occurred", "log ERROR: java.lang.IllegalStateException: probe failure \u00fc",
          "log ERROR: could not call main"}},
        {"app-without-main",
         {"log ERROR: java.lang.NoSuchMethodException: probe.Probe$NoMain.main([Ljava.lang.String;)",
          "log ERROR: could not call main"}},
        {"launcher-without-main", {"log ERROR: could not find main method", "fatal 1011"}},
        {"no-launcher-class", {"log ERROR: could not find main class", "fatal 1010"}},
    };
    for (const auto& c : cases) {
        DriverRun run = runDriver(c.scenario, dir);
        EXPECT_TRUE(run.has("result 0")) << c.scenario << "\n" << run.output;
        EXPECT_FALSE(run.has("log dest JVM")) << c.scenario << ": the JVM is left to the process exit";
        for (const std::string& line : c.lines) EXPECT_TRUE(run.has(line)) << c.scenario << ": " << line << "\n" << run.output;
    }
}

TEST_F(HotSpot, DestroyWaitsForNonDaemonThreads) {
    DriverRun run = runDriver("linger", dir);
    EXPECT_TRUE(run.has("result 1")) << run.output;
    EXPECT_TRUE(run.has("log dest JVM") && run.has("log launch done")) << run.output;
    EXPECT_EQ(readFile(dir / "late.txt"), "written late\n");
}

TEST_F(HotSpot, StopLineOrEndOfInputEndsServiceWithShutdownHooks) {
    for (const std::string input : {"0\n", ""}) {
        fs::remove(dir / "hook.txt");
        fs::remove(dir / "ready.txt");
        DriverRun run = runDriver("serve", dir, "", [&](int stdinFd) {
            for (int i = 0; i < 600 && !fs::exists(dir / "ready.txt"); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_EQ(write(stdinFd, input.data(), input.size()), ssize_t(input.size()));
        });
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_FALSE(run.has("result 1")) << "System.exit ends the process inside the JVM";
        EXPECT_EQ(readFile(dir / "hook.txt"), "hook ran\n") << "input: \"" << input << '"';
    }
}

// A service restarted a thousand times leaves a thousand per-run directories
// behind; the next runs remove those nobody holds, and their own.
TEST_F(HotSpot, EarlierRunDirectoriesAreRemoved) {
    auto runDirectory = [&](const std::string& name, bool locked, bool settled = true) {
        fs::create_directory(dir / (name + "_dir1700000000"));
        writeFile(dir / (name + "_dir1700000000") / "a.jar", "PK");
        fs::create_directories(dir / (name + "_dir1700000000") / "lib" / "x");
        writeFile(dir / (name + "_dir1700000000") / "lib" / "x" / "c.dll", "MZ");
        if (locked) {
            // Older than a lock file that its run is about to lock.
            writeFile(dir / (name + "_dir1700000000") / ".vennic-run.lock", "");
            if (settled)
                fs::last_write_time(dir / (name + "_dir1700000000") / ".vennic-run.lock",
                                    fs::file_time_type::clock::now() - std::chrono::minutes(1));
        }
        writeFile(dir / name, "");  // the launcher's reservation of the name
        return dir / (name + "_dir1700000000");
    };
    for (int i = 0; i < 1000; ++i) runDirectory("vek" + std::to_string(i) + ".tmp", true);
    // A run still going: its lock is held by another process (this one).
    fs::path held = runDirectory("vekHELD.tmp", true);
    int lockFd = open((held / ".vennic-run.lock").c_str(), O_RDWR | O_CLOEXEC);
    struct flock lock{};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(lockFd, F_SETLK, &lock), 0);
    // A run whose Java side has not started yet: no lock file.
    fs::path starting = runDirectory("vekNEW.tmp", false);
    // A run that has just created its lock file and is about to lock it.
    fs::path locking = runDirectory("vekLOCKING.tmp", true, false);
    // Its lock file is dated a little ahead, so that it still counts as just
    // made at the last sweep, however long a loaded machine takes over the
    // runs before it.
    fs::last_write_time(locking / ".vennic-run.lock", fs::file_time_type::clock::now() + std::chrono::minutes(2));
    writeFile(dir / "unrelated.txt", "kept");
    // Only "vek", anything, "_dir" and a number (perhaps negative) at the end
    // names a run directory; the number goes with the reservation's name.
    std::set<std::string> notRunDirectories;
    for (const std::string name : {"vekNEG.tmp_dir-5", "vekBARE.tmp_dir", "vekSIGN.tmp_dir-", "vekTAIL.tmp_dir12x",
                                   "xvek.tmp_dir12"}) {
        fs::create_directory(dir / name);
        writeFile(dir / name / ".vennic-run.lock", "");
        fs::last_write_time(dir / name / ".vennic-run.lock", fs::file_time_type::clock::now() - std::chrono::minutes(1));
        if (name != "vekNEG.tmp_dir-5") notRunDirectories.insert(name);
    }
    writeFile(dir / "vekNEG.tmp", "");

    for (int run = 0; run < 3; ++run) {
        fs::path own = runDirectory("vekOWN" + std::to_string(run) + ".tmp", false);
        DriverRun result = runDriver("rundir", dir, own.string());
        EXPECT_TRUE(result.has("result 1")) << result.output;
    }
    close(lockFd);
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir)) left.insert(entry.path().filename().string());
    std::set<std::string> kept{held.filename().string(), "vekHELD.tmp", starting.filename().string(), "vekNEW.tmp",
                               locking.filename().string(), "vekLOCKING.tmp", "unrelated.txt"};
    kept.insert(notRunDirectories.begin(), notRunDirectories.end());
    EXPECT_EQ(left, kept);
    EXPECT_TRUE(fs::exists(held / "a.jar")) << "a held directory is not touched";
}

// The launcher's output-rolling settings reach the Java side, which rolls the
// application's output: whole lines, both streams in one file, the newest
// three rolled files kept and nothing of them lost.
TEST_F(HotSpot, RedirectedOutputRolls) {
    DriverRun run = runDriver("roll", dir);
    ASSERT_TRUE(run.has("result 1")) << run.output;
    EXPECT_TRUE(run.has("option -Dvennic.output.maxSize=1k") && run.has("option -Dvennic.output.keepFiles=3"))
        << run.output;
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"out.log", "out.1.log", "out.2.log", "out.3.log", "out.log.lock"}));
    std::string kept;
    for (const char* name : {"out.3.log", "out.2.log", "out.1.log"}) {
        std::string text = readFile(dir / name);
        EXPECT_GE(text.size(), 1024u) << name;
        EXPECT_LT(text.size(), 1024u + 40) << name << ": rolled at the line that reached 1 KiB";
        kept += text;
    }
    kept += readFile(dir / "out.log");
    std::string all;
    for (int i = 0; i < 400; ++i) all += "probe line " + std::to_string(i) + " of 400 ..........\n";
    ASSERT_GT(kept.size(), 3000u);
    EXPECT_EQ(all.substr(all.size() - kept.size()), kept) << "the newest lines, whole and in order";
}

// Links in a run directory are removed, never followed: neither the sweep of
// an earlier run's directory nor the removal of a run's own directory at
// its end touches what they lead to.
TEST_F(HotSpot, RunDirectoryCleanUpRemovesLinksNotTheirTargets) {
    fs::create_directories(dir / "outside" / "sub");
    writeFile(dir / "outside" / "keep.txt", "kept");
    writeFile(dir / "outside" / "sub" / "deep.txt", "kept");
    writeFile(dir / "file.txt", "kept");
    auto plantLinks = [&](const fs::path& run) {
        fs::create_directories(run / "lib");
        writeFile(run / "a.jar", "PK");
        fs::create_directory_symlink(dir / "outside", run / "to-dir");
        fs::create_directory_symlink(dir / "outside" / "sub", run / "lib" / "to-sub");
        fs::create_symlink(dir / "file.txt", run / "to-file");
    };
    fs::path earlier = dir / "vekOLD.tmp_dir1700000000";
    plantLinks(earlier);
    writeFile(earlier / ".vennic-run.lock", "");
    fs::last_write_time(earlier / ".vennic-run.lock", fs::file_time_type::clock::now() - std::chrono::minutes(1));
    // A planted run directory that is itself a link to a directory.
    fs::create_directory_symlink(dir / "outside", dir / "vekLINK.tmp_dir1700000000");
    fs::path own = dir / "vekOWN.tmp_dir1700000001";
    plantLinks(own);

    DriverRun run = runDriver("rundir", dir, own.string());
    EXPECT_TRUE(run.has("result 1")) << run.output;
    EXPECT_FALSE(fs::exists(fs::symlink_status(earlier))) << "the earlier run's directory is swept";
    EXPECT_FALSE(fs::exists(fs::symlink_status(own))) << "the run's own directory is removed";
    EXPECT_TRUE(fs::is_symlink(dir / "vekLINK.tmp_dir1700000000")) << "a linked candidate is left alone";
    EXPECT_EQ(readFile(dir / "outside" / "keep.txt"), "kept");
    EXPECT_EQ(readFile(dir / "outside" / "sub" / "deep.txt"), "kept");
    EXPECT_EQ(readFile(dir / "file.txt"), "kept");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--driver") return drive(argv[2], argv[3], argv[4]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
