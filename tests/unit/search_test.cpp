// The decisions of the runtime search.
#include <gtest/gtest.h>

#include <set>

#include "config/entries.h"
#include "jre/search.h"
#include "test_support.h"

namespace wl {
namespace {

TEST(SearchSequence, EntriesAndLetters) {
    std::vector<SearchEntry> entries = parseSearchSequence("B.\\jre;Y;;EJAVA_HOME;EJDK_HOME;");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].type, 'B');
    EXPECT_EQ(entries[0].argument, ".\\jre");
    EXPECT_EQ(entries[1].type, 'Y');
    EXPECT_EQ(entries[1].argument, "");
    EXPECT_EQ(entries[3].type, 'E');
    EXPECT_EQ(entries[3].argument, "JDK_HOME");
    EXPECT_TRUE(parseSearchSequence(";;").empty());
    EXPECT_TRUE(parseSearchSequence("").empty());
}

TEST(SearchSequence, RelativePass) {
    struct Case {
        const char* entry;
        bool tried;
    } cases[] = {
        {"B.\\jre", true},    {"Bc:\\jre", true},  // B: whatever its form
        {"Ajre", true},       {"Rjre", true},     {"A.\\jre", true},
        {"Ac:\\jre", false},  {"Ac:jre", false},  {"A\\\\server\\jre", false},
        {"R\\jre", true},     {"Aj", true},       {"A", true},
        {"Ec:\\x", false},    {"S", false},       {"Y", false},
        {"bjre", false},  // letters are case-sensitive
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(triedInRelativePass(parseSearchSequence(c.entry).at(0)), c.tried);
    }
}

TEST(JavaExeForHome, Layouts) {
    struct Case {
        const char* home;
        std::set<std::string> files;
        bool requireJdk;
        bool result;
        const char* javaExe;
    } cases[] = {
        {"c:\\jdk", {"c:\\jdk\\jre\\bin\\java.exe", "c:\\jdk\\bin\\java.exe"}, false, true,
         "c:\\jdk\\jre\\bin\\java.exe"},
        {"c:\\jre", {"c:\\jre\\bin\\java.exe"}, false, true, "c:\\jre\\bin\\java.exe"},
        {"c:\\none", {}, false, true, "c:\\none\\bin\\java.exe"},  // existence is checked later
        {"c:\\app\\", {}, false, true, "c:\\app\\bin\\java.exe"},
        {"c:\\jdk", {"c:\\jdk\\lib\\tools.jar"}, true, true, "c:\\jdk\\jre\\bin\\java.exe"},
        {"c:\\jdk17", {"c:\\jdk17\\bin\\java.exe"}, true, false, "c:\\jdk17\\jre\\bin\\java.exe"},
        // 表 ends in the byte of the backslash (code page 932).
        {"c:\\予定表", {}, false, true, "c:\\予定表\\bin\\java.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.home);
        std::string javaExe;
        bool result = javaExeForHome(
            javaExe, testing_support::cp932(c.home), c.requireJdk,
            [&](const std::string& path) { return c.files.count(path) > 0; }, testing_support::kCodePage932);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(javaExe, testing_support::cp932(c.javaExe));
    }
}

TEST(JavaSoft, SubkeysInTextualOrderFromTheEnd) {
    EXPECT_EQ(javaSoftTryOrder({"1.8.0_202", "11", "9", "11.0.2"}, {}),
              (std::vector<std::string>{"9", "11.0.2", "11", "1.8.0_202"}));
    // A short name passes the minimum by name and sorts before its updates.
    VersionBounds minimum{splitVersion("1.8.0_101"), {}};
    EXPECT_EQ(javaSoftTryOrder({"1.8", "1.7.0_80", "1.8.0_202", "1.8.0_60"}, minimum),
              (std::vector<std::string>{"1.8.0_202", "1.8"}));
    VersionBounds maximum{{}, splitVersion("10")};
    // A maximum of 10 admits every 10.x.
    EXPECT_EQ(javaSoftTryOrder({"11", "9", "10.0.1"}, maximum), (std::vector<std::string>{"9", "10.0.1"}));
}

TEST(JavaSoft, CurrentVersionTieGoesToTheJre) {
    EXPECT_FALSE(currentVersionPrefersJdk("1.8", "1.8"));
    EXPECT_TRUE(currentVersionPrefersJdk("11", "1.8"));
    EXPECT_FALSE(currentVersionPrefersJdk("", "1.8"));
    EXPECT_TRUE(currentVersionPrefersJdk("1.8", ""));
    EXPECT_FALSE(currentVersionPrefersJdk("", ""));
}

TEST(LocatedJvms, KeyNamesAndFilter) {
    EXPECT_EQ(locatedKeyToPath("c:/app/qar_jres/jre/bin/java.exe"), "c:\\app\\qar_jres\\jre\\bin\\java.exe");
    EXPECT_TRUE(locatedPathConsidered("c:\\app\\qar_jres\\bin\\java.exe", false));
    EXPECT_FALSE(locatedPathConsidered("c:\\java\\bin\\java.exe", false));
    EXPECT_TRUE(locatedPathConsidered("c:\\java\\bin\\java.exe", true));
}

TEST(LocatedJvms, PreferUnlessNewer) {
    JavaCandidate a{"a", "1.8.0_202"}, b{"b", "1.8.0_202"}, newer{"n", "11"}, empty{"e", ""};
    EXPECT_EQ(preferUnlessNewer(&a, &b), &a);  // equal: the preferred one stays
    EXPECT_EQ(preferUnlessNewer(&a, &newer), &newer);
    EXPECT_EQ(preferUnlessNewer(&newer, &a), &newer);
    EXPECT_EQ(preferUnlessNewer(nullptr, &a), &a);
    EXPECT_EQ(preferUnlessNewer(&a, nullptr), &a);
    EXPECT_EQ(preferUnlessNewer(nullptr, nullptr), nullptr);
    EXPECT_EQ(preferUnlessNewer(&empty, &a), &a);
    EXPECT_EQ(preferUnlessNewer(&a, &empty), &a);
}

TEST(LocationFile, FirstLine) {
    struct Case {
        std::string bytes;
        std::optional<std::string> line;
    } cases[] = {
        {"", std::nullopt},
        {"\n", ""},
        {"\r\n", ""},
        {"c:\\jre\r\nsecond\r\n", "c:\\jre"},
        {"c:\\jre\r\r\n", "c:\\jre"},
        {"c:\\jre", "c:\\jre"},
        {" c:\\jre \n", " c:\\jre "},
        {std::string(7000, 'x'), std::string(5999, 'x')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 20));
        EXPECT_EQ(locationFileLine(c.bytes), c.line);
    }
}

}  // namespace
}  // namespace wl
