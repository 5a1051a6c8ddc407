// Version arithmetic, the probe's output and the version cache's rules.
#include <gtest/gtest.h>

#include <climits>

#include "config/entries.h"
#include "config/store.h"
#include "jre/version.h"
#include "test_support.h"

namespace wl {
std::vector<std::u16string>& capturedLogLines();

namespace {

VersionBounds bounds(const char* minimum, const char* maximum) {
    return {splitVersion(minimum), splitVersion(maximum)};
}

TEST(VersionWithinBound, Table) {
    struct Case {
        const char* bound;
        const char* candidate;
        bool isMaximum, lenient, within;
    } cases[] = {
        {"", "1.2", true, false, true},
        {"", "", false, false, true},
        {"1.8.0", "1.8.0_999", true, false, true},  // parts beyond the bound are not looked at
        {"11", "11.0.15", true, false, true},
        {"1.8.0", "1.8.1", true, false, false},
        {"1.8.0", "9", true, false, false},
        {"1.8.0", "1.7.9", true, false, true},
        {"1.8.0_101", "1.8.0", false, false, false},  // the missing part counts as 0
        {"1.8.0_101", "1.8", false, true, true},      // ... unless lenient
        {"1.8.0_101", "1.8.0_60", false, true, false},
        {"1.8.0_101", "1.8.0_101", false, false, true},
        {"1.8.0_101", "1.9", false, false, true},
        {"1.8.0_101", "1.7.0_999", false, false, false},
        {"2", "10", false, false, true},  // numeric, not textual
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.bound) + " / " + c.candidate);
        EXPECT_EQ(versionWithinBound(splitVersion(c.bound), splitVersion(c.candidate), c.isMaximum, c.lenient),
                  c.within);
    }
}

class VersionAcceptedTest : public ::testing::Test {
protected:
    void SetUp() override {
        configStore = {};
        capturedLogLines().clear();
    }
    void TearDown() override { configStore = {}; }
};

TEST_F(VersionAcceptedTest, BoundsAreStrict) {
    VersionBounds b = bounds("1.8.0_101", "1.8.0");
    using V = JavaVerdict;
    struct Case {
        const char* version;
        JavaVerdict verdict;
    } cases[] = {
        {"1.8.0_202", V::Accepted}, {"1.8.0_60", V::TooOld}, {"1.8.0", V::TooOld},
        {"9", V::TooNew},           {"1.8.1", V::TooNew},    {"1.8.0_101-ea", V::BetaRefused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        EXPECT_EQ(judgeVersion(c.version, b, false), c.verdict);
        EXPECT_EQ(versionAccepted(c.version, b, false), c.verdict == V::Accepted);
    }
    EXPECT_STREQ(verdictName(V::TooOld), "too old");
    EXPECT_STREQ(verdictName(V::WrongBitness), "wrong bitness");
    EXPECT_STREQ(verdictName(V::Chosen), "chosen");
}

TEST_F(VersionAcceptedTest, NoBoundsAcceptEverything) {
    for (const char* version : {"", "1.0", "17.0.2", "x"}) {
        SCOPED_TRACE(version);
        EXPECT_TRUE(versionAccepted(version, {}, false));
    }
}

TEST_F(VersionAcceptedTest, EarlyAccessRule) {
    struct Case {
        const char* version;
        bool allowBeta;
        const char* setting;  // allowBetaJava, nullptr when absent
        bool accepted;
    } cases[] = {
        {"11.0.2-ea", false, nullptr, false},
        {"11.0.2-ea", true, nullptr, true},
        {"11.0.2-ea", false, "1", true},
        {"11.0.2-ea", false, "0", false},
        {"1.8.0-release", false, nullptr, false},  // "ea" anywhere counts
        {"9-beta", false, nullptr, false},
        {"12-rc1", false, nullptr, false},
        {"12-EA", false, nullptr, true},  // the test is case-sensitive
        {"17.0.2", false, nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        configStore = {};
        if (c.setting) configStore.settings[cfg::allowBetaJava] = c.setting;
        capturedLogLines().clear();
        EXPECT_EQ(versionAccepted(c.version, {}, c.allowBeta), c.accepted);
        bool logged = !capturedLogLines().empty() && capturedLogLines().back() == u"beta vm not allowed";
        EXPECT_EQ(logged, !c.accepted);
    }
}

TEST_F(VersionAcceptedTest, EarlyAccessStillMeetsTheBounds) {
    EXPECT_FALSE(versionAccepted("1.7.0-ea", bounds("1.8", ""), true));
    EXPECT_TRUE(versionAccepted("1.8.0-ea", bounds("1.8", ""), true));
}

TEST(VersionInRangeLenient, ShortRegistryNamesPass) {
    VersionBounds b = bounds("1.8.0_101", "");
    EXPECT_TRUE(versionInRangeLenient("1.8", b));
    EXPECT_TRUE(versionInRangeLenient("1.8.0_202", b));
    EXPECT_FALSE(versionInRangeLenient("1.8.0_60", b));
    EXPECT_FALSE(versionInRangeLenient("1.7", b));
    EXPECT_TRUE(versionInRangeLenient("11", bounds("1.8", "11.0.2")));
    EXPECT_FALSE(versionInRangeLenient("11.0.3", bounds("1.8", "11.0.2")));
}

TEST(IsNewerVersion, Table) {
    struct Case {
        const char* x;
        const char* y;
        bool newer;
    } cases[] = {
        {"1.8.0", "1.8.0", false}, {"1.8.0_1", "1.8.0", true}, {"1.8.0", "1.8.0_1", false},
        {"", "", false},           {"", "1.8", false},          {"1.8", "", true},
        {"11", "1.8.0_202", true}, {"1.8.0_202", "11", false},  {"10", "9", true},
        {"1.8", "1.8.0", false},  // equal over x's parts
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.x) + " vs " + c.y);
        EXPECT_EQ(isNewerVersion(c.x, c.y), c.newer);
    }
}

TEST(VersionCache, KeyWritesBackslashesAsSlashes) {
    EXPECT_EQ(versionCacheKey("c:\\program files\\java\\bin\\java.exe", kByteCodec),
              "SOFTWARE\\tarnwell\\vennic\\jvms\\c:/program files/java/bin/java.exe");
    // Only backslash characters: the second byte of 表 stays.
    EXPECT_EQ(versionCacheKey(testing_support::cp932("c:\\予定表\\bin\\java.exe"), testing_support::kCodePage932),
              "SOFTWARE\\tarnwell\\vennic\\jvms\\" + testing_support::cp932("c:/予定表/bin/java.exe"));
}

TEST(VersionCache, StoredValues) {
    const int64_t time = 0x01D9A1B2C3D4E5F6;
    const std::string stored = fileTimeBytes(time);
    ASSERT_EQ(stored.size(), 8u);
    EXPECT_EQ(static_cast<unsigned char>(stored[0]), 0xF6);  // little-endian
    EXPECT_EQ(static_cast<unsigned char>(stored[7]), 0x01);
    struct Case {
        std::string storedTime;
        std::string storedVersion;
        std::optional<std::string> result;
    } cases[] = {
        {stored, "17.0.2", "17.0.2"},
        {stored, std::string("17.0.2\0junk", 11), "17.0.2"},
        {stored, "", ""},
        {stored, "1.0.0", "1.0.0"},  // a failed run: the caller treats it as a miss
        {stored, "1.7.", std::nullopt},
        {stored, "1.6.", std::nullopt},
        {stored, "1.5.", std::nullopt},
        {stored, "1.7.0", "1.7.0"},
        {fileTimeBytes(time + 1), "17.0.2", std::nullopt},
        {stored.substr(0, 7), "17.0.2", std::nullopt},
        {stored + "x", "17.0.2", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.storedVersion);
        EXPECT_EQ(usableCachedVersion(c.storedTime, time, c.storedVersion), c.result);
    }
}

TEST(VersionProbe, CommandLine) {
    EXPECT_EQ(probeCommandLine("C:\\PROGRA~1\\Java\\bin\\java.exe"), "C:\\PROGRA~1\\Java\\bin\\java.exe -version");
    EXPECT_EQ(probeCommandLine("c:\\program files\\java\\bin\\java.exe"),
              "\"c:\\program files\\java\\bin\\java.exe\" -version");
}

TEST(VersionProbe, FirstTextLine) {
    EXPECT_EQ(firstTextLine("", 99), std::nullopt);
    EXPECT_EQ(firstTextLine("\x1a rest", 99), std::nullopt);
    EXPECT_EQ(firstTextLine("one\r\ntwo\r\n", 99), "one\n");
    EXPECT_EQ(firstTextLine("one", 99), "one");
    EXPECT_EQ(firstTextLine("a\rb\n", 99), "a\rb\n");
    EXPECT_EQ(firstTextLine("\n", 99), "\n");
    EXPECT_EQ(firstTextLine(std::string(150, 'x') + "\n", 99), std::string(99, 'x'));
}

TEST(VersionProbe, VersionFromFirstLine) {
    struct Case {
        const char* line;
        std::optional<std::string> version;
    } cases[] = {
        {"openjdk version \"17.0.2\" 2022-01-18\n", "17.0.2"},
        {"java version \"1.8.0_202\"\n", "1.8.0_202"},
        {"java version \"1.8.0_202\"", "1.8.0_202"},
        {"java version \"\"\n", ""},
        {"java version \"1.8.0_202\n", "1.8.0_20"},  // no closing quote: the last two characters go
        {"java version \"9\n", ""},
        {"java version \"", ""},
        {"Picked up _JAVA_OPTIONS: -Xmx1g\n", std::nullopt},
        {"openjdk version 17\n", std::nullopt},
        {" java version \"1.8\"\n", std::nullopt},
        {"Java version \"1.8\"\n", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(versionFromProbeLine(c.line), c.version);
    }
}

}  // namespace
}  // namespace wl
