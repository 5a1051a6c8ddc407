// Options files, option lines, version-specific lines and locale options.
#include "options/optionsfile.h"

#include <gtest/gtest.h>

#include "option_inputs.h"

using namespace wl;
using namespace testing_support;
using namespace option_inputs;

namespace {

// The kept lines of a file, read as the launcher reads them.
Strings fileLines(ByteSource& source) {
    OptionsFileReader reader(source);
    Strings lines;
    for (std::string line; reader.next(line);) lines.push_back(line);
    EXPECT_FALSE(reader.failed());
    return lines;
}
Strings fileLines(const std::string& bytes) {
    MemorySource source(bytes);
    return fileLines(source);
}

// A file of any size without its bytes in memory: zeros, as a sparse file
// reads, then a tail; or a failure after the first piece.
class ZerosThenTail final : public ByteSource {
public:
    ZerosThenTail(uint64_t zeros, std::string tail, bool failAfterFirstRead = false)
        : zeros_(zeros), tail_(std::move(tail)), fail_(failAfterFirstRead) {}
    bool seek(uint64_t) override { return false; }
    bool read(void* buffer, uint32_t count, uint32_t& got) override {
        got = 0;
        if (fail_ && at_ > 0) return false;
        largestRead = std::max(largestRead, count);
        auto* out = static_cast<char*>(buffer);
        while (got < count && at_ < size()) {
            out[got++] = at_ < zeros_ ? '\0' : tail_[std::size_t(at_ - zeros_)];
            ++at_;
        }
        return true;
    }
    uint64_t position() const override { return at_; }
    uint64_t size() const override { return zeros_ + tail_.size(); }
    uint32_t largestRead = 0;

private:
    uint64_t zeros_, at_ = 0;
    std::string tail_;
    bool fail_;
};

TEST(OptionsFileLines, LineRules) {
    const std::string longLine(40000, 'x');
    // A CR LF pair split between two pieces of the file is still one line end.
    std::string acrossPieces;
    Strings acrossLines;
    while (acrossPieces.size() + 100 < kOptionsFileChunkSize - 1) {
        acrossPieces += std::string(99, 'x') + "\n";
        acrossLines.push_back(std::string(99, 'x'));
    }
    acrossLines.push_back(std::string(kOptionsFileChunkSize - 1 - acrossPieces.size(), 'y'));
    acrossLines.push_back("z");  // its lone CR is trailing, and goes
    acrossPieces += acrossLines[acrossLines.size() - 2] + "\r\nz\r";
    const std::pair<std::string, Strings> cases[] = {
        {"-Xmx512m\r\n\r\n#-Xms1g\r\n   -Dx=a b  \r\n", {"-Xmx512m", "-Dx=a b"}},
        {"\t-Dt=1\n", {"\t-Dt=1"}},                                // a tab is kept
        {"\xEF\xBB\xBF#-Da\n", {"\xEF\xBB\xBF#-Da"}},              // so is a byte-order mark
        {"a\rb\r\r\nlast", {"a\rb", "last"}},                      // a lone CR inside stays
        {longLine + "\n", {longLine.substr(0, 29999), longLine.substr(29999)}},
        {std::string("-Da \0junk\n\0\0\n  \0-Db\n-Dc", 23), {"-Da", "-Dc"}},  // a line ends at a NUL
        {acrossPieces, acrossLines},
    };
    for (const auto& [bytes, lines] : cases) EXPECT_EQ(fileLines(bytes), lines) << bytes.substr(0, 20);
}

TEST(OptionsFileLines, LargeFileIsReadInPiecesAndAFailedReadEnds) {
    // 200 MB of zeros (empty lines), then options, read in pieces of the
    // fixed size. The zeros before the first line end belong to that line,
    // which is empty as a C string.
    ZerosThenTail large(200'000'000, "-Dgone\n-Dlast\n");
    EXPECT_EQ(fileLines(large), Strings{"-Dlast"});
    EXPECT_EQ(large.largestRead, kOptionsFileChunkSize);

    ZerosThenTail failing(kOptionsFileChunkSize + 10, "-Dnever\n", true);
    OptionsFileReader reader(failing);
    std::string line;
    EXPECT_FALSE(reader.next(line));
    EXPECT_TRUE(reader.failed());
}

TEST(OptionsFileLines, FileLongerThanItsReportedSizeIsReadToItsEnd) {
    // A file that grew after its size was asked: its buffer is the smallest,
    // and every line still arrives, across the pieces.
    struct Grown final : MemorySource {
        using MemorySource::MemorySource;
        uint64_t size() const override { return 3; }
    };
    std::string bytes;
    Strings lines;
    for (int i = 0; i < 100; ++i) {
        lines.push_back("-Dline" + std::to_string(i) + "=" + std::string(std::size_t(i), 'v'));
        bytes += lines.back() + "\r\n";
    }
    Grown grown(bytes);
    EXPECT_EQ(fileLines(grown), lines);
}

TEST_F(VmOptionsTest, VersionSpecificLines) {
    struct Case {
        const char* version;
        Strings conditions;  // pair k adds -Dk=<k>
        Strings expected;
    } cases[] = {
        {"1.8.0_101", {"8-8"}, {"-Dk=0"}},   {"1.8.0_101", {"9-17"}, {}}, {"1.8.0_101", {"*1.8.*"}, {"-Dk=0"}},
        {"1.8.0_101", {"*1.8"}, {}},         {"17.0.2", {"11-99"}, {"-Dk=0"}}, {"17.0.2", {"11-"}, {}},
        {"1.8.0_101", {"*1.?.0**1"}, {"-Dk=0"}}, {"1.8.0_101", {"*1.8.0_10"}, {}}, {"9", {"9-9"}, {"-Dk=0"}},
        {"", {"*"}, {}},                                       // no runtime version: no check
        {"17.0.2", {"17", "1-8", "*17*", "11-99"}, {"-Dk=2"}},  // only the first match (logged below)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " " + c.conditions[0]);
        reset({{cfg::versionSpecificOptionCount, std::to_string(c.conditions.size())}});
        javaVersion = c.version;
        for (int32_t k = 0; k < int32_t(c.conditions.size()); ++k) {
            configStore.settings[cfg::versionSpecificCondition + 2 * k] = c.conditions[k];
            configStore.settings[cfg::versionSpecificOptions + 2 * k] = "-Dk=" + std::to_string(k);
        }
        Strings expected = c.expected;
        expected.push_back(kNoPath);
        EXPECT_EQ(assemble(), expected);
    }
    EXPECT_TRUE(logged("checking min 1 max 8 with 17") && logged("ERROR: expected dash"));
    EXPECT_TRUE(logged("checking version 17 0") && logged("checking version *17* 1"));
}

TEST_F(VmOptionsTest, HugeVersionSpecificCountStopsAtTheStoredPairs) {
    // Two billion announced pairs, one stored: found at once, not after a
    // billion lookups of absent ones. A stray setting at a high id (the
    // options of a far pair that has no condition) changes nothing.
    reset({{cfg::versionSpecificOptionCount, "2000000000"},
           {cfg::versionSpecificCondition + 2, "17-17"},
           {cfg::versionSpecificOptions + 2, "-Dk=1"},
           {2000000000, "-Dstray"}});
    javaVersion = "17.0.2";
    EXPECT_EQ(assemble(), (Strings{"-Dk=1", kNoPath}));
}

TEST_F(VmOptionsTest, WildcardConditionWithManyStarsIsQuick) {
    // Trying every split at every "*" took minutes for a dozen "*?".
    std::string stars = "*";
    for (int i = 0; i < 12; ++i) stars += "*?";
    reset({{cfg::versionSpecificOptionCount, "2"},
           {cfg::versionSpecificCondition, stars + "Z"},
           {cfg::versionSpecificOptions, "-Dno"},
           {cfg::versionSpecificCondition + 2, stars + "3"},
           {cfg::versionSpecificOptions + 2, "-Dyes"}});
    javaVersion = "17.0.2+8-LTS-86-2022-01-18-2023";
    EXPECT_EQ(assemble(), (Strings{"-Dyes", kNoPath}));
}

TEST_F(VmOptionsTest, OptionLinesAndSources) {
    struct Case {
        const char* name;
        Settings settings;
        Files files;
        Strings args, expected;
    } cases[] = {
        {"sources in order, after the properties",
         {{cfg::vmOptions, "-Xmx256m"}, {cfg::useDefaultVmOptionsFile, "1"}, {cfg::allowJavaOptionArguments, "1"}},
         {{"C:\\App\\app.vmoptions", "-Xmx1g\n"}}, {"-J-Xmx2g", "x"}, {"-Dp", "-Xmx256m", "-Xmx1g", "-Xmx2g", kNoPath}},
        {"no options file without its setting", {}, {{"C:\\App\\app.vmoptions", "-Xmx1g\n"}}, {}, {"-Dp", kNoPath}},
        {"-J ignored without its setting", {}, {}, {"-J-Xmx2g"}, {"-Dp", kNoPath}},
        {"bare -J adds an empty option", {{cfg::allowJavaOptionArguments, "1"}}, {}, {"-J"}, {"-Dp", "", kNoPath}},
        {"-J sets the suffix", {{cfg::allowJavaOptionArguments, "1"}}, {}, {"-J-classpath/a x.jar"},
         {"-Dp", kNoPath + ";x.jar"}},
        {"the last override of a kind; -classpath alone is an option", {{cfg::useDefaultVmOptionsFile, "1"}},
         {{"C:\\App\\app.vmoptions", "-classpath/a lib\\extra.jar\n-classpath/a lib\\b.jar\n-classpath\n"}}, {},
         {"-Dp", "-classpath", kNoPath + ";lib\\b.jar"}},
        {"trailing lone -include-options is an option", {{cfg::vmOptions, "-Xss1m -include-options"}}, {}, {},
         {"-Dp", "-Xss1m", "-include-options", kNoPath}},
        {"includes: against the including file, else the launcher directory",
         {{cfg::vmOptions, "-include-options cfg\\a.vmoptions -include-options 'other.vmoptions'"}},
         {{"C:\\App\\cfg\\a.vmoptions", "-Da\n-include-options other.vmoptions\n"},
          {"C:\\App\\cfg\\other.vmoptions", "-Dcfg\n"}, {"C:\\App\\other.vmoptions", "-Dapp\n"}},
         {}, {"-Dp", "-Da", "-Dcfg", "-Dapp", kNoPath}},
        {"module options joined with whatever follows",
         {{cfg::vmOptions, "--add-opens java.base/java.lang=ALL-UNNAMED --add-exports"}}, {}, {},
         {"-Dp", "--add-opens=java.base/java.lang=ALL-UNNAMED", "--add-exports=" + kNoPath}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset(c.settings);
        in.files = c.files;
        EXPECT_EQ(assemble(c.args, {"-Dp"}), c.expected);
    }
    VmOptionList tail = {"--add-reads", "--patch-module=x", "--add-modules"};
    joinModuleOptions(tail);
    EXPECT_EQ(tail, (Strings{"--add-reads=--patch-module=x", "--add-modules"}));  // the last name stays alone

    // A long list is joined in one pass: erasing each joined value moved the
    // rest of the list, minutes for this one (a big options file).
    VmOptionList many;
    for (int i = 0; i < 200000; ++i) {
        many.push_back(i % 3 == 0 ? "-Dk" + std::to_string(i) : "--add-opens");
        many.push_back("m" + std::to_string(i));
    }
    joinModuleOptions(many);
    ASSERT_EQ(many.size(), 200000u + 200000u / 3 + 1);
    EXPECT_EQ(many[0], "-Dk0");
    EXPECT_EQ(many[1], "m0");
    EXPECT_EQ(many[2], "--add-opens=m1");
    EXPECT_EQ(many.back(), "--add-opens=m199999");
}

TEST_F(VmOptionsTest, DefaultFileCandidatesAndLocale) {
    reset({{cfg::useDefaultVmOptionsFile, "1"}});
    in.files["C:\\App\\app.exe.vmoptions"] = "-Dsecond";
    EXPECT_EQ(assemble(), (Strings{"-Dsecond", kNoPath}));
    EXPECT_EQ(in.opened, (Strings{"C:\\App\\app.vmoptions", "C:\\App\\app.exe.vmoptions"}));
    in.files["C:\\App\\app.vmoptions"] = "-Dfirst";
    EXPECT_EQ(assemble(), (Strings{"-Dfirst", kNoPath}));

    in.files.clear();
    const std::string format = "-Dsun.locale.formatasdefault=";
    struct Case {
        Strings args;
        const char *language, *country;
        Strings expected;
    } cases[] = {
        {{format + "false"}, "pt", "BR", {format + "false", "-Duser.language=pt", "-Duser.country=BR", kNoPath}},
        {{format + "true"}, "pt", "BR", {format + "true", kNoPath}},
        {{"a"}, "pt", "BR", {kNoPath}},
        {{format + "true", "a", format}, "no", "", {format, "-Duser.language=no", kNoPath}},  // the last one
    };
    for (const Case& c : cases) {
        localeLanguage = c.language;
        localeCountry = c.country;
        EXPECT_EQ(assemble(c.args), c.expected);
    }
}

TEST_F(VmOptionsTest, IncludeCyclesStop) {
    reset({{cfg::useDefaultVmOptionsFile, "1"}});
    in.files = {{"C:\\App\\app.vmoptions", "-Da\n-include-options C:\\APP\\app.vmoptions\n-Db\n"}};
    EXPECT_EQ(assemble(), (Strings{"-Da", "-Db", kNoPath}));
    EXPECT_TRUE(logged("ERROR: options file C:\\APP\\app.vmoptions includes itself, line skipped"));

    in.files = {{"C:\\App\\app.vmoptions", "-include-options r1\n"}, {"C:\\App\\r1", "-D1\n-include-options r2\n"},
                {"C:\\App\\r2", "-D2\n-include-options r3\n"}, {"C:\\App\\r3", "-D3\n-include-options r1\n-D3b\n"}};
    EXPECT_EQ(assemble(), (Strings{"-D1", "-D2", "-D3", "-D3b", kNoPath}));

    // A chain of distinct files ends at the depth limit: the default file and 15 more.
    in.files = {{"C:\\App\\app.vmoptions", "-include-options f1\n"}};
    for (int i = 1; i < 20; ++i)
        in.files["C:\\App\\f" + std::to_string(i)] = "-Df" + std::to_string(i) + "\n-include-options f" +
                                                     std::to_string(i + 1) + "\n";
    Strings list = assemble();
    ASSERT_EQ(list.size(), 16u);
    EXPECT_EQ(list[14], "-Df15");
    EXPECT_TRUE(logged("ERROR: options files nested deeper than 16, C:\\App\\f16 skipped"));

    // Each file includes the next one twice: 2^15 reads unbounded, 256 with the limit.
    in.files = {{"C:\\App\\app.vmoptions", "-include-options f1\n"}};
    for (int i = 1; i < 16; ++i)
        in.files["C:\\App\\f" + std::to_string(i)] =
            "-D\n-include-options f" + std::to_string(i + 1) + "\n-include-options f" + std::to_string(i + 1) + "\n";
    EXPECT_EQ(assemble().size(), 256u + 1) << "one -D per file read, then the class path";
    EXPECT_TRUE(logged("ERROR: more than 256 options files included, C:\\App\\f14 skipped"));
}

TEST_F(VmOptionsTest, OptionsFilesAddABoundedText) {
    // A file that is no options file, such as a log, adds options up to the
    // bound and no further; the rest of it is skipped, and so is what a later
    // file would add.
    std::string log;
    for (int i = 0; i < 100'000; ++i) log += "2024-01-01 12:00:00 INFO line " + std::to_string(i) + "\n";
    reset({{cfg::useDefaultVmOptionsFile, "1"}, {cfg::vmOptions, "-Dconfigured"}});
    in.files = {{"C:\\App\\app.vmoptions", "-include-options big.log\n-include-options small\n"},
                {"C:\\App\\big.log", log},
                {"C:\\App\\small", "-Dsmall\n"}};
    Strings list = assemble();
    std::size_t text = 0;
    for (const std::string& option : list) text += option.size() + kOptionsFileLineCost;
    EXPECT_LE(text, kMaxOptionsFileText + 200);
    EXPECT_GT(text, kMaxOptionsFileText - 200);
    EXPECT_EQ(list.front(), "-Dconfigured");
    EXPECT_EQ(std::count(list.begin(), list.end(), "-Dsmall"), 0);
    EXPECT_TRUE(logged("ERROR: options files hold more than 4194304 bytes of options, the rest of C:\\App\\big.log "
                       "is skipped"));
}

}  // namespace
