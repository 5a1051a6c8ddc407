#include "jvm/launch_thread.h"

#include <gtest/gtest.h>

#include "config/entries.h"

namespace {

TEST(LaunchThread, ParseMemorySize) {
    struct {
        const char* text;
        int64_t expected;
    } cases[] = {
        {"0", 0},
        {"512", 512},
        {"512k", 524288},
        {"1K", 1024},
        {"2m", 2097152},
        {"4g", 4294967296},
        {"1T", 1099511627776},
        {"007m", 7340032},
        {"", -1},
        {"k", -1},
        {"1kb", -1},       // two letters
        {"1x", -1},        // another letter
        {"-1", -1},        // a sign
        {"+1", -1},
        {" 1", -1},        // a blank
        {"1 ", -1},
        {"1.5m", -1},      // a fraction
        {"9223372036854775807", 9223372036854775807},
        {"9223372036854775808", -1},  // beyond 64 bits
        {"8388608t", -1},             // 2^63 bytes
        {"8388607t", 9223370937343148032},
    };
    for (const auto& c : cases) EXPECT_EQ(wl::parseMemorySize(c.text), c.expected) << '"' << c.text << '"';
}

TEST(LaunchThread, StackSizeFollowsTheLastValidXss) {
    struct {
        std::vector<const char*> options;
        uint32_t expected;
    } cases[] = {
        {{}, 0},
        {{"-Xmx1g"}, 0},
        {{"-Xss512k"}, 524288},
        {{"-Xss1k"}, 65536},           // raised to the smallest stack
        {{"-Xss65535"}, 65536},
        {{"-Xss65537"}, 65537},
        {{"-Xss0"}, 0},
        {{"-Xss"}, 0},
        {{"-Xss4g"}, 0},               // low 32 bits are 0: the default
        {{"-Xss4097m"}, 1048576},      // low 32 bits of 4 GiB + 1 MiB
        {{"-Xss1m", "-Xss2m"}, 2097152},
        {{"-Xss2m", "-Xssfoo", "-Xss0"}, 2097152},  // invalid and zero sizes are skipped
        {{"-xss1m", "-XSS1m", "-Dx=-Xss1m"}, 0},   // case-sensitive prefix
    };
    for (const auto& c : cases) {
        std::vector<JavaVMOption> options;
        for (const char* text : c.options) options.push_back({const_cast<char*>(text), nullptr});
        JavaVMInitArgs args{JNI_VERSION_1_2, jint(options.size()), options.data(), JNI_TRUE};
        EXPECT_EQ(wl::launchStackSize(args), c.expected) << (c.options.empty() ? "" : c.options.back());
    }
}

TEST(LaunchThread, LauncherPropertiesInTableOrder) {
    wl::LauncherPropertyInputs all;
    all.semaphoreName = "Local\\c:_app_app.exe0";
    all.quarlo = true;
    all.service = true;
    all.modulePath = "C:\\App\\app.exe";
    all.tempDir = "C:\\Temp\\vek1A.tmp_dir17";
    all.unextractedPosition = 3000000000u;
    all.path = "C:\\jre\\bin;C:\\Windows";
    all.consoleCodepage = 850;

    wl::LauncherPropertyInputs plain = all;
    plain.semaphoreName.clear();
    plain.quarlo = plain.service = false;
    plain.tempDir.clear();
    plain.unextractedPosition = 0;
    plain.path.clear();
    plain.manpathSet = true;

    struct {
        const wl::LauncherPropertyInputs& inputs;
        std::vector<std::string> expected;
    } cases[] = {
        {all,
         {"-Dvennic.semaphoreName=Local\\c:_app_app.exe0", "-Dvennic.isQuarlo=true", "-Dvennic.isService=true",
          "-Dvennic.moduleName=C:\\App\\app.exe", "-Dsun.java.command=C:\\App\\app.exe",
          "-Dvennic.tempDir=C:\\Temp\\vek1A.tmp_dir17", "-Dvennic.unextractedPosition=3000000000",
          "-Djava.library.path=C:\\jre\\bin;C:\\Windows", "-Dvennic.consoleCodepage=cp850"}},
        {plain,
         {"-Dvennic.moduleName=C:\\App\\app.exe", "-Dsun.java.command=C:\\App\\app.exe", "-Dvennic.tempDir=",
          "-Dvennic.unextractedPosition=0", "-Djava.library.path="}},
    };
    for (const auto& c : cases) EXPECT_EQ(wl::launcherProperties(c.inputs), c.expected);
}

// Only the settings that are set reach the Java side, after the fixed
// properties; flags and counts in one form, sizes as written.
TEST(LaunchThread, OutputRollingPropertiesOnlyWhenSet) {
    wl::ConfigStore store;
    EXPECT_EQ(wl::outputRollingProperties(store), std::vector<std::string>{});
    store.settings = {{wl::cfg::outputMaxSize, "10m"},    {wl::cfg::outputRollDaily, "2"},
                      {wl::cfg::outputKeepFiles, " 07"},  {wl::cfg::outputMaxAgeDays, ""},
                      {wl::cfg::outputMaxTotalSize, "1gb"}, {wl::cfg::outputRollOnStart, "0"}};
    const std::vector<std::string> expected{"-Dvennic.output.maxSize=10m", "-Dvennic.output.rollDaily=true",
                                            "-Dvennic.output.keepFiles=7", "-Dvennic.output.maxTotalSize=1gb",
                                            "-Dvennic.output.rollOnStart=false"};
    EXPECT_EQ(wl::outputRollingProperties(store), expected);

    wl::LauncherPropertyInputs inputs;
    inputs.manpathSet = true;
    inputs.additions = expected;
    std::vector<std::string> properties = wl::launcherProperties(inputs);
    ASSERT_EQ(properties.size(), 5u + expected.size());
    EXPECT_EQ(std::vector<std::string>(properties.begin() + 5, properties.end()), expected);
}

}  // namespace
