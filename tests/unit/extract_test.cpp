#include "files/extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>

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
        "a>b", "a<b", "a*b", "a?b", "a\"b", "", "a;b", "x\\y\\z", "a/b/c",
    };
    for (const char* name : hostile) EXPECT_NE(wl::checkIncludedFileName(name, kCodePage1252), "") << "[" << name << "]";
    // Code page 932: 表 and ソ end in the byte of the backslash, but are no separators.
    for (const char* name : {"予定表\\..", "..\\ソ", "ソ\\\\a", "表\\"})
        EXPECT_NE(wl::checkIncludedFileName(cp932(name), kCodePage932), "") << name;
}

TEST(IncludedName, OrdinaryNamesAreAccepted) {
    const char* fine[] = {
        "a.jar", "lib\\a.dll", "lib/a.dll", "..a", "a..b", ".hidden", "a.b.c", "con1.txt", "COM10",
        "console.txt", "nul_file", "\xE9t\xE9.txt", "a b.txt", "lib\\sub dir.x",
    };
    for (const char* name : fine) EXPECT_EQ(wl::checkIncludedFileName(name, kCodePage1252), "") << "[" << name << "]";
    // ポ ends in the byte of "|", ソ in that of "\\": neither is that character.
    for (const char* name : {"予定表\\ソ.dll", "表", "能\\表.txt", "ポ.dll", "lib\\ポ"})
        EXPECT_EQ(wl::checkIncludedFileName(cp932(name), kCodePage932), "") << name;
}

TEST(IncludedName, ComponentsOfAt255Characters) {
    EXPECT_EQ(wl::checkIncludedFileName(std::string(255, 'x'), kCodePage1252), "");
    EXPECT_EQ(wl::checkIncludedFileName("lib\\" + std::string(256, 'x'), kCodePage1252),
              "has a component longer than 255 characters");
    // Characters, not bytes: 255 double-byte characters are 510 bytes.
    std::string wide;
    for (int i = 0; i < 255; ++i) wide += "表";
    EXPECT_EQ(wl::checkIncludedFileName(cp932(wide), kCodePage932), "");
    EXPECT_NE(wl::checkIncludedFileName(cp932(wide + "表"), kCodePage932), "");
}

inline constexpr char kCp1251[] = "CP1251";
const wl::NarrowCodec kCodePage1251{widenIconv<kCp1251>, narrowIconv<kCp1251>};

// Pairs of names in one code page, and whether Windows takes them for one file.
struct NamePair {
    const wl::NarrowCodec* codec;
    std::string a, b;
    bool same;
};

TEST(IncludedName, OneFileAsWindowsComparesNames) {
    auto in = [](const wl::NarrowCodec& codec, const std::string& utf8) { return codec.narrow(wide(utf8), nullptr); };
    const NamePair pairs[] = {
        {&kCodePage1252, "lib\\cb.dll", "lib\\cb.dll", true},
        {&kCodePage1252, "Lib/CB.DLL", "lib\\cb.dll", true},
        {&kCodePage1252, in(kCodePage1252, "Été\\Œuvre.txt"), in(kCodePage1252, "éTÉ/œUVRE.TXT"), true},
        {&kCodePage1252, in(kCodePage1252, "šÿ"), in(kCodePage1252, "ŠŸ"), true},
        {&kCodePage1252, in(kCodePage1252, "straße"), "STRASSE", false},
        {&kCodePage1252, "a.dll", "b.dll", false},
        {&kCodePage1252, "lib\\a.dll", "a.dll", false},
        {&kCodePage1251, in(kCodePage1251, "Файл.txt"), in(kCodePage1251, "фАЙЛ.TXT"), true},
        {&kCodePage1251, in(kCodePage1251, "ёж"), in(kCodePage1251, "ЁЖ"), true},
        {&kCodePage932, cp932("ａｂ\\Ж"), cp932("ＡＢ/ж"), true},
        {&kCodePage932, cp932("αω"), cp932("ΑΩ"), true},
        // ア and ヂ differ in their second byte only as "A" and "a" do.
        {&kCodePage932, cp932("ア"), cp932("ヂ"), false},
        {&kCodePage932, cp932("表\\a"), cp932("表/A"), true},
    };
    for (const NamePair& p : pairs) {
        ASSERT_EQ(wl::checkIncludedFileName(p.a, *p.codec), "") << p.a;
        EXPECT_EQ(wl::includedFileNameKey(p.a, *p.codec) == wl::includedFileNameKey(p.b, *p.codec), p.same)
            << p.a << " / " << p.b;
    }
}

TEST(IncludedName, TheFirstRefusedNameOfAList) {
    using Names = std::vector<std::string>;
    EXPECT_FALSE(wl::findRefusedIncludedName(Names{"a.jar", "lib\\a.dll", "lib\\b.dll"}, kCodePage1252));
    auto refused = wl::findRefusedIncludedName(Names{"a.jar", "lib\\cb.dll", "x", "LIB/CB.dll"}, kCodePage1252);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->index, 3u);
    EXPECT_EQ(refused->problem, "names the same file as \"lib\\cb.dll\"");
    // A name the check refuses counts before a repeated one behind it.
    refused = wl::findRefusedIncludedName(Names{"a", "..\\x", "A"}, kCodePage1252);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->index, 1u);
    EXPECT_EQ(refused->problem, "leaves the directory with \"..\" or \".\"");
}

TEST(IncludedName, ListAndTargets) {
    EXPECT_EQ(wl::splitIncludedFileNames("a;;lib\\b;"), (std::vector<std::string>{"a", "lib\\b"}));
    EXPECT_EQ(wl::splitIncludedFileNames(";"), std::vector<std::string>{});
    EXPECT_EQ(wl::includedFileTarget("C:\\T\\d", "lib\\a.dll"), "C:\\T\\d\\lib\\a.dll");
    EXPECT_EQ(wl::includedFileDirectory("C:\\T\\d", "lib\\a.dll", wl::kByteCodec), "C:\\T\\d\\lib");
    EXPECT_EQ(wl::includedFileDirectory("C:\\T\\d", "a\\b\\c", wl::kByteCodec), "C:\\T\\d\\a");
    EXPECT_EQ(wl::includedFileDirectory("C:\\T\\d", "a.jar", wl::kByteCodec), "");
    EXPECT_EQ(wl::includedFileDirectory("C:\\T\\d", cp932("予定表\\a.dll"), kCodePage932), "C:\\T\\d\\" + cp932("予定表"));
    EXPECT_EQ(wl::includedFileDirectory("C:\\T\\d", cp932("ソ.dll"), kCodePage932), "");
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

std::string record(int64_t size, const std::string& plain) {
    std::string out(8, '\0');
    for (int i = 0; i < 8; ++i) out[i] = char(uint64_t(size) >> (8 * i) & 0xFF);
    return out + masked(plain);
}

// Keeps every created file in memory, and can refuse directories or files.
class MemoryTarget : public wl::ExtractionTarget {
public:
    class Sink : public MemorySink {
    public:
        Sink(std::map<std::string, std::string>& files, std::string path) : files_(files), path_(std::move(path)) {}
        ~Sink() override { files_[path_] = bytes; }

    private:
        std::map<std::string, std::string>& files_;
        std::string path_;
    };
    bool createDirectory(const std::string& path) override {
        directories.push_back(path);
        return !refuseDirectories;
    }
    std::unique_ptr<wl::ByteSink> createFile(const std::string& path) override {
        if (path == refuseFile) return nullptr;
        return std::make_unique<Sink>(files, path);
    }
    std::vector<std::string> directories;
    std::map<std::string, std::string> files;
    bool refuseDirectories = false;
    std::string refuseFile;
};

TEST(IncludedRecords, TwoFilesEndBehindTheLastRecord) {
    const std::string prefix(100, 'P');  // stands for the executable up to configBlockEnd
    std::string a = pattern(10), b = pattern(20);
    std::string image = prefix + record(10, a) + record(20, b) + "not a record";
    wl::MemorySource source(image);
    wl::BlockReader reader(source);
    reader.seek(100);
    MemoryTarget target;
    clearLog();
    wl::ExtractionOutcome outcome = wl::extractRecords(reader, "T", {"a.bin", "lib\\b.bin"}, target, wl::kByteCodec);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(outcome.endPosition, 100u + 46u);
    EXPECT_EQ(target.files, (std::map<std::string, std::string>{{"T\\a.bin", a}, {"T\\lib\\b.bin", b}}));
    EXPECT_EQ(target.directories, std::vector<std::string>{"T\\lib"});
    EXPECT_EQ(logLines(), (std::vector<std::string>{"extracting T\\a.bin (size: 10)", "creating directory T\\lib",
                                                    "extracting T\\lib\\b.bin (size: 20)"}));
    clearLog();
}

TEST(IncludedRecords, SizesUpToZeroCreateNoFile) {
    std::string image = record(0, "") + record(-5, "") + record(3, "xyz");
    wl::MemorySource source(image);
    wl::BlockReader reader(source);
    MemoryTarget target;
    wl::ExtractionOutcome outcome = wl::extractRecords(reader, "T", {"lib\\zero", "neg", "c"}, target, wl::kByteCodec);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(outcome.endPosition, image.size());
    EXPECT_EQ(target.files, (std::map<std::string, std::string>{{"T\\c", "xyz"}}));
    EXPECT_EQ(target.directories, std::vector<std::string>{"T\\lib"}) << "the directory part is still created";
}

TEST(IncludedRecords, FewerNamesLeaveTheRestUnread) {
    std::string image = record(2, "ab") + record(2, "cd");
    wl::MemorySource source(image);
    wl::BlockReader reader(source);
    MemoryTarget target;
    wl::ExtractionOutcome outcome = wl::extractRecords(reader, "T", {"first"}, target, wl::kByteCodec);
    EXPECT_EQ(outcome.endPosition, 10u);
    EXPECT_EQ(target.files.size(), 1u);
}

TEST(IncludedRecords, Failures) {
    struct {
        const char* name;
        std::string image;
        bool refuseDirectories;
        std::string refuseFile;
        int code;
        bool sizeUnreadable, cannotCreate;
        std::string lastLine;
    } cases[] = {
        {"size field cut short", record(1, "a") + "\x01\x02\x03", false, "", 0, true, false, "error 0\n"},
        {"content cut short", record(1, "a") + record(5, "bc"), false, "", 1, false, false,
         "ERROR: Failed to extract T\\d\\b"},
        {"file refused", record(1, "a") + record(1, "b"), false, "T\\d\\b", 0, false, true,
         "extracting T\\d\\b (size: 1)"},
        {"directory refused: logged, then the file is tried", record(1, "a") + record(1, "b"), true, "", 0, false,
         false, "extracting T\\d\\b (size: 1)"},
    };
    for (auto& c : cases) {
        wl::MemorySource source(c.image);
        wl::BlockReader reader(source);
        MemoryTarget target;
        target.refuseDirectories = c.refuseDirectories;
        target.refuseFile = c.refuseFile;
        clearLog();
        wl::ExtractionOutcome outcome = wl::extractRecords(reader, "T", {"a", "d\\b"}, target, wl::kByteCodec);
        EXPECT_EQ(outcome.code, c.code) << c.name;
        EXPECT_EQ(outcome.sizeUnreadable, c.sizeUnreadable) << c.name;
        EXPECT_EQ(outcome.cannotCreate, c.cannotCreate) << c.name;
        std::vector<std::string> lines = logLines();
        ASSERT_FALSE(lines.empty()) << c.name;
        EXPECT_EQ(lines.back(), c.lastLine) << c.name;
        if (c.sizeUnreadable) {
            EXPECT_EQ(utf8(reader.failure()), "Internal Error: readLong");
        }
        if (c.refuseDirectories) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), "ERROR: failed to create directory T\\d"), lines.end());
        }
    }
    clearLog();
}

}  // namespace
