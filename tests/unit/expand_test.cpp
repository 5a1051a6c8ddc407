#include "files/expand.h"

#include <gtest/gtest.h>

#include "test_support.h"

using namespace testing_support;

namespace {

struct ExpandCase {
    const char* name;
    std::string text;
    std::vector<std::string> environment;
    std::string expected;
};

wl::NarrowExpansionValues narrowValues() {
    return {"C:\\App\\", "", "", "C:\\Users\\a\\Temp\\"};
}

wl::WideExpansionValues widen(const wl::NarrowExpansionValues& v) {
    return {wide(v.launcherDir), wide(v.launcherTempDir), wide(v.jvmHome), wide(v.systemTempDir)};
}

std::vector<std::u16string> widen(const std::vector<std::string>& env) {
    std::vector<std::u16string> out;
    for (const std::string& e : env) out.push_back(wide(e));
    return out;
}

const std::vector<std::string> kFoo = {"Foo=bar"};

const ExpandCase kCases[] = {
    {"directory then text", "${launcher:sys.launcherDirectory}lib", {}, "C:\\App\\lib"},
    {"doubled backslash kept", "%VENNIC_EXEDIR%\\lib", {}, "C:\\App\\\\lib"},
    {"quarlo directory", "${QUARLO_EXEDIR}x", {}, "C:\\App\\x"},
    {"separator between", "a${launcher:sys.pathlistSeparator}b", {}, "a;b"},
    {"separator alone", "%QUARLO_PATHLIST_SEPARATOR%", {}, ";"},
    {"no per-run directory", "${launcher:sys.launcherTempDirectory}\\x", {}, "\\x"},
    {"no runtime yet", "${launcher:sys.jvmHome}", {}, ""},
    {"system temp", "${launcher:sys.tempDir}f", {}, "C:\\Users\\a\\Temp\\f"},
    {"env as spelled", "${Foo}", kFoo, "bar"},
    {"env upper-cased", "${FOO}", kFoo, "bar"},
    {"env lower-cased stays", "${foo}", kFoo, "${foo}"},
    {"env between percent signs stays", "%Foo%", kFoo, "%Foo%"},
    {"mixed case stays", "${fOO}", kFoo, "${fOO}"},
    {"unknown launcher name stays", "${launcher:sys.unknown}", {}, "${launcher:sys.unknown}"},
    {"unknown env name stays", "${NOPE}", kFoo, "${NOPE}"},
    {"three occurrences", "${Foo}-${Foo}/${Foo}", kFoo, "bar-bar/bar"},
    {"no variable", "plain text $ { } %", kFoo, "plain text $ { } %"},
    {"unclosed", "${Foo", kFoo, "${Foo"},
    {"value names a later variable", "${A}", {"A=${B}x", "B=bee"}, "beex"},
    {"value names an earlier variable", "${A}", {"B=bee", "A=${B}x"}, "${B}x"},
    {"value names a built-in", "${A}", {"A=${launcher:sys.launcherDirectory}"}, "${launcher:sys.launcherDirectory}"},
    {"value names itself", "${SELF}.", {"SELF=${SELF}"}, "${SELF}."},
    {"entry without equals skipped", "${NOEQ}", {"NOEQ"}, "${NOEQ}"},
    {"value with equals", "${E}", {"E=a=b"}, "a=b"},
    {"empty value removes", "[${EMPTY}]", {"EMPTY="}, "[]"},
    {"upper form of lower name", "${PATH}", {"Path=C:\\w"}, "C:\\w"},
    {"first entry wins", "${X}", {"X=one", "X=two"}, "one"},
    {"per-drive directory entries skipped", "${}${=C:}", {"=C:=C:\\w", "=::=::\\"}, "${}${=C:}"},
};

TEST(Expand, NarrowTable) {
    for (const ExpandCase& c : kCases) {
        std::string text = c.text;
        wl::expandWithValues(text, narrowValues(), c.environment);
        EXPECT_EQ(text, c.expected) << c.name;
    }
}

TEST(Expand, WideTableGivesTheSameResults) {
    for (const ExpandCase& c : kCases) {
        std::u16string text = wide(c.text);
        wl::expandWithValues(text, widen(narrowValues()), widen(c.environment));
        EXPECT_EQ(utf8(text), c.expected) << c.name;
    }
}

TEST(Expand, EveryBuiltInNameHasItsValue) {
    wl::NarrowExpansionValues values{"D:\\", "T\\", "J\\", "S\\"};
    const std::pair<const char*, const char*> rows[] = {
        {"%VENNIC_EXEDIR%", "D:\\"},
        {"%QUARLO_EXEDIR%", "D:\\"},
        {"%VENNIC_TEMPDIR%", "T\\"},
        {"%QUARLO_TEMPDIR%", "T\\"},
        {"%VENNIC_PATHLIST_SEPARATOR%", ";"},
        {"%QUARLO_PATHLIST_SEPARATOR%", ";"},
        {"%VENNIC_JVM_HOME%", "J\\"},
        {"%QUARLO_JVM_HOME%", "J\\"},
        {"${VENNIC_EXEDIR}", "D:\\"},
        {"${QUARLO_EXEDIR}", "D:\\"},
        {"${VENNIC_TEMPDIR}", "T\\"},
        {"${QUARLO_TEMPDIR}", "T\\"},
        {"${VENNIC_PATHLIST_SEPARATOR}", ";"},
        {"${QUARLO_PATHLIST_SEPARATOR}", ";"},
        {"${VENNIC_JVM_HOME}", "J\\"},
        {"${QUARLO_JVM_HOME}", "J\\"},
        {"${launcher:sys.launcherDirectory}", "D:\\"},
        {"${launcher:sys.launcherTempDirectory}", "T\\"},
        {"${launcher:sys.pathlistSeparator}", ";"},
        {"${launcher:sys.jvmHome}", "J\\"},
        {"${launcher:sys.tempDir}", "S\\"},
    };
    for (const auto& [variable, value] : rows) {
        std::string text = std::string("<") + variable + ">";
        wl::expandWithValues(text, values, {});
        EXPECT_EQ(text, std::string("<") + value + ">") << variable;
    }
    // Percent spellings exist only for the eight built-in names.
    std::string text = "%launcher:sys.tempDir%";
    wl::expandWithValues(text, values, {});
    EXPECT_EQ(text, "%launcher:sys.tempDir%");
}

TEST(Expand, RowsRunInTableOrderOverTheWholeText) {
    // The launcher directory (row 1) holds a later row's name and is expanded
    // again; the per-run directory (row 3) holds an earlier row's name and is not.
    wl::NarrowExpansionValues values{"D:\\${launcher:sys.jvmHome}\\", "T\\%VENNIC_EXEDIR%", "jre", "S"};
    std::string text = "%VENNIC_EXEDIR%|%VENNIC_TEMPDIR%";
    wl::expandWithValues(text, values, {});
    EXPECT_EQ(text, "D:\\jre\\|T\\%VENNIC_EXEDIR%");
}

TEST(Expand, EachReplacementIsLoggedWithTheWholeText) {
    clearLog();
    std::string narrow = "x${Foo}y${Foo}";
    wl::expandWithValues(narrow, narrowValues(), kFoo);
    std::u16string wideText = u"[${launcher:sys.pathlistSeparator}]";
    wl::expandWithValues(wideText, widen(narrowValues()), {});
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              "expanding2 ${Foo} to bar in xbary${Foo}.",
                              "expanding2 ${Foo} to bar in xbarybar.",
                              "expanding2 ${launcher:sys.pathlistSeparator} to ; in [;].",
                          }));
}

TEST(Expand, ReplaceAllSearchesOnBehindTheValue) {
    struct {
        std::string text, variable, value, expected;
        std::size_t count;
    } cases[] = {
        {"aXbXc", "X", "XX", "aXXbXXc", 2},
        {"XXX", "XX", "-", "-X", 1},
        {"abc", "", "z", "abc", 0},
        {"", "X", "z", "", 0},
        {"X", "X", "", "", 1},
    };
    for (auto& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(wl::replaceAllInPlace(text, c.variable, c.value), c.count) << c.text;
        EXPECT_EQ(text, c.expected) << c.text;
        std::u16string w = wide(c.text);
        EXPECT_EQ(wl::replaceAllInPlace(w, wide(c.variable), wide(c.value)), c.count) << c.text;
        EXPECT_EQ(utf8(w), c.expected) << c.text;
    }
}

TEST(Expand, GrowthStopsAtTheLimit) {
    // Twenty values of 5000 characters would make 100000; expansion stops
    // before the text passes 65536 and says so.
    std::string text;
    for (int i = 0; i < 20; ++i) text += "${BIG}";
    clearLog();
    wl::expandWithValues(text, narrowValues(), {"BIG=" + std::string(5000, 'x')});
    EXPECT_LE(text.size(), 65536u);
    EXPECT_EQ(text.find("${BIG}"), 13u * 5000u) << "13 replacements fit";
    std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "ERROR: text too long to expand ${BIG} further");
    clearLog();
}

TEST(Expand, ReplacementsStopAtTheLimit) {
    // Each replacement logs the whole text: 1024 of them, then the rest stays.
    std::string text;
    for (int i = 0; i < 1500; ++i) text += "${A}";
    clearLog();
    wl::expandWithValues(text, narrowValues(), {"A=x"});
    EXPECT_EQ(text, std::string(1024, 'x') + text.substr(1024));
    EXPECT_EQ(text.size(), 1024u + 476u * 4u);
    EXPECT_EQ(logLines().back(), "ERROR: too many replacements, ${A} and later variables stay");
    clearLog();
}

}  // namespace
