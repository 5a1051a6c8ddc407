#include <gtest/gtest.h>

#include <set>

#include "base/format.h"
#include "diag/log.h"

using namespace wl;

TEST(Log, LinePrefix) {
    EXPECT_EQ(logLinePrefix(61007), u"[61:7] ");
    EXPECT_EQ(logLinePrefix(1005), u"[1:5] ");
    EXPECT_EQ(logLinePrefix(0), u"[0:0] ");
    EXPECT_EQ(logLinePrefix(999), u"[0:999] ");
}

TEST(Log, ElapsedUsesLowThirtyTwoBits) {
    EXPECT_EQ(elapsedMillis(1000, 62007), 61007);
    // The low words wrap between start and now.
    uint64_t start = 0x1FFFFFFF0ull;
    EXPECT_EQ(elapsedMillis(start, start + 0x20), 0x20);
}

TEST(Log, SwitchedOnOnlyByExactYes) {
    EXPECT_TRUE(logSwitchedOn("yes", nullptr));
    EXPECT_TRUE(logSwitchedOn(nullptr, "yes"));
    EXPECT_TRUE(logSwitchedOn("no", "yes"));
    EXPECT_FALSE(logSwitchedOn("Yes", "YES"));
    EXPECT_FALSE(logSwitchedOn("yes ", ""));
    EXPECT_FALSE(logSwitchedOn(nullptr, nullptr));
}

TEST(Log, DirectoryPrefix) {
    EXPECT_EQ(logDirectoryPrefix(u"C:\\Temp"), u"C:\\Temp\\");
    EXPECT_EQ(logDirectoryPrefix(u"C:\\Temp\\"), u"C:\\Temp\\");
    EXPECT_EQ(logDirectoryPrefix(u"C:/Temp/"), u"C:/Temp/");
    EXPECT_EQ(logDirectoryPrefix(u""), u"c:\\");
}

TEST(Log, FileNumbering) {
    std::set<std::u16string> existing{u"T\\qar_nlog_1.log", u"T\\qar_nlog_2.log"};
    auto exists = [&](const std::u16string& n) { return existing.count(n) > 0; };
    EXPECT_EQ(chooseLogFileName(u"T\\", exists), u"T\\qar_nlog_3.log");
    EXPECT_EQ(chooseLogFileName(u"U\\", exists), u"U\\qar_nlog_1.log");
    // With every name taken, number 1000 is reused.
    EXPECT_EQ(chooseLogFileName(u"T\\", [](const std::u16string&) { return true; }), u"T\\qar_nlog_1000.log");
}

TEST(Log, FileBytesAreUtf8WithCrLf) {
    EXPECT_EQ(logFileBytes(u"a\nb\u00E9\n"), "a\r\nb\xC3\xA9\r\n");
    EXPECT_EQ(logFileBytes(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Log, HeaderTime) {
    EXPECT_EQ(headerTime(2, 12, 8, 6, 6, 53, 2026), u"Tue Dec 08 06:06:53 2026");
    EXPECT_EQ(headerTime(0, 1, 31, 23, 59, 0, 2027), u"Sun Jan 31 23:59:00 2027");
}
