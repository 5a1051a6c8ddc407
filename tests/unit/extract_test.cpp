#include "files/extract.h"

#include <gtest/gtest.h>

#include <climits>

#include "test_support.h"

using namespace testing_support;

namespace {

TEST(IncludedName, HostileNamesAreRefused) {
    const char* hostile[] = {
        "..", "..\\x", "a\\..\\b", "a\\..\\..\\b", "../x", "a/../../b", "lib\\..", ".", ".\\x", "...",
        "...\\x", ".. \\x", "x.", "x ", "lib\\x.", "C:x", "c:\\x", "C:/x", "c:", "\\x", "/x",
        "\\\\server\\share", "//server/share", "\\\\?\\c:\\x", "\\\\.\\pipe\\p", "\\\\.\\c:", "\\??\\c:\\x",
        ":stream", "a.txt:ads", "a::$DATA", "CON", "con", "NUL", "nul.txt", "lib\\AUX", "PRN.log", "COM1",
        "lpt9.dll", "CONIN$", "conout$", "COM\xB9", "CON .txt", "a\\\\b", "lib\\", "a\x01" "b", "a\tb", "a|b",
        "a>b", "a<b", "a*b", "a?b", "a\"b", "",
    };
    for (const char* name : hostile) EXPECT_NE(wl::checkIncludedFileName(name), "") << "[" << name << "]";
}

TEST(IncludedName, OrdinaryNamesAreAccepted) {
    const char* fine[] = {
        "a.jar", "lib\\a.dll", "lib/a.dll", "..a", "a..b", ".hidden", "a.b.c", "con1.txt", "COM10",
        "console.txt", "nul_file", "x\\y\\z", "\xE9t\xE9.txt", "a b.txt", "lib\\sub dir.x",
    };
    for (const char* name : fine) EXPECT_EQ(wl::checkIncludedFileName(name), "") << "[" << name << "]";
}

TEST(IncludedName, ListAndTargets) {
    EXPECT_EQ(wl::splitIncludedFileNames("a;;lib\\b;"), (std::vector<std::string>{"a", "lib\\b"}));
    EXPECT_EQ(wl::splitIncludedFileNames(";"), std::vector<std::string>{});
    EXPECT_EQ(wl::includedFileTarget("C:\\T\\d", "lib\\a.dll"), "C:\\T\\d\\lib\\a.dll");
    EXPECT_EQ(wl::includedFileDirectory("C:\\T\\d", "lib\\a.dll"), "C:\\T\\d\\lib");
    EXPECT_EQ(wl::includedFileDirectory("C:\\T\\d", "a\\b\\c"), "C:\\T\\d\\a");
    EXPECT_EQ(wl::includedFileDirectory("C:\\T\\d", "a.jar"), "");
}

// Records what the copy asks of the source: the size of every read.
class CountingSource : public wl::MemorySource {
public:
    using MemorySource::MemorySource;
    bool read(void* buffer, uint32_t count, uint32_t& got) override {
        requests.push_back(count);
        return MemorySource::read(buffer, count, got);
    }
    std::vector<uint32_t> requests;
};

class MemorySink : public wl::ByteSink {
public:
    bool write(const void* buffer, uint32_t count, uint32_t& written) override {
        writes.push_back(count);
        if (failAfter == 0) {
            written = 0;
            return false;
        }
        --failAfter;
        written = count < maxPerWrite ? count : maxPerWrite;
        bytes.append(static_cast<const char*>(buffer), written);
        return true;
    }
    uint32_t lastError() const override { return 112; }
    std::string bytes;
    std::vector<uint32_t> writes;
    uint32_t maxPerWrite = UINT32_MAX;
    int failAfter = INT_MAX;
};

std::string masked(const std::string& plain) {
    std::string out = plain;
    for (char& c : out) c = char(c ^ 0xA7);
    return out;
}

std::string pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = char((i * 7 + 3) & 0xFF);
    return s;
}

TEST(IncludedContent, StreamsThroughChunksOf6000) {
    struct {
        std::size_t size;
        std::vector<uint32_t> reads;
    } cases[] = {
        {1, {1}}, {10, {10}}, {5999, {5999}}, {6000, {6000}}, {6001, {6000, 1}}, {12000, {6000, 6000}},
        {13500, {6000, 6000, 1500}},
    };
    for (const auto& c : cases) {
        std::string plain = pattern(c.size);
        std::string stored = masked(plain) + "trailing bytes that belong to nothing";
        CountingSource source(stored);
        MemorySink sink;
        EXPECT_EQ(wl::copyIncludedContent(source, sink, int64_t(c.size)), 0);
        EXPECT_EQ(sink.bytes, plain) << c.size;
        EXPECT_EQ(source.requests, c.reads) << c.size;
        EXPECT_EQ(source.position(), c.size) << "the next record starts right behind";
    }
}

TEST(IncludedContent, NothingForSizesUpToZero) {
    for (int64_t size : {int64_t(0), int64_t(-1), INT64_MIN}) {
        CountingSource source("abc");
        MemorySink sink;
        EXPECT_EQ(wl::copyIncludedContent(source, sink, size), 0);
        EXPECT_TRUE(source.requests.empty());
        EXPECT_TRUE(sink.writes.empty());
    }
}

TEST(IncludedContent, SourceEndingEarlyFailsWithOne) {
    struct {
        std::size_t available;
        int64_t size;
        const char* line;
    } cases[] = {
        {0, 1, "ERROR: ReadFile failed 0 0 0"},
        {6001, 6002, "ERROR: ReadFile failed 0 0 6001"},
        {10, INT64_MAX, "ERROR: ReadFile failed 0 0 10"},
    };
    for (const auto& c : cases) {
        std::string stored = masked(pattern(c.available));
        wl::MemorySource source(stored);
        MemorySink sink;
        clearLog();
        EXPECT_EQ(wl::copyIncludedContent(source, sink, c.size), 1);
        EXPECT_EQ(sink.bytes.size(), c.available) << "what was read is written";
        EXPECT_EQ(logLines(), std::vector<std::string>{c.line});
    }
    clearLog();
}

TEST(IncludedContent, WritesAreRepeatedForTheRemainder) {
    std::string plain = pattern(6001);
    std::string stored = masked(plain);
    wl::MemorySource source(stored);
    MemorySink sink;
    sink.maxPerWrite = 2500;
    EXPECT_EQ(wl::copyIncludedContent(source, sink, 6001), 0);
    EXPECT_EQ(sink.bytes, plain);
    EXPECT_EQ(sink.writes, (std::vector<uint32_t>{6000, 3500, 1000, 1}));
}

TEST(IncludedContent, FailingOrStalledWriteFailsWithTwo) {
    struct {
        int failAfter;
        uint32_t maxPerWrite;
        const char* line;
    } cases[] = {
        {0, UINT32_MAX, "ERROR: WriteFile failed 6000 112"},
        {1, UINT32_MAX, "ERROR: WriteFile failed 4 112"},
        {1, 1000, "ERROR: WriteFile failed 5000 112"},
        {INT_MAX, 0, "ERROR: WriteFile failed 6000 112"},  // success that takes nothing
    };
    for (const auto& c : cases) {
        std::string stored = masked(pattern(6004));
        wl::MemorySource source(stored);
        MemorySink sink;
        sink.failAfter = c.failAfter;
        sink.maxPerWrite = c.maxPerWrite;
        clearLog();
        EXPECT_EQ(wl::copyIncludedContent(source, sink, 6004), 2);
        EXPECT_EQ(logLines(), std::vector<std::string>{c.line});
    }
    clearLog();
}

}  // namespace
