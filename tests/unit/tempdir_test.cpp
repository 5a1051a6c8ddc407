#include "files/tempdir.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "test_support.h"

using namespace testing_support;
using wl::TempSource;

namespace {

TEST(TempCandidates, TwelveRowsInOrderWithTheirSwitches) {
    struct Expected {
        TempSource source;
        bool createFirst, reject, longForm;
    };
    const Expected expected[12] = {
        {TempSource::TempPath, true, true, true},
        {TempSource::UserProfileTemp, false, true, true},
        {TempSource::HomeDrivePath, false, true, true},
        {TempSource::CommonAppDataTemp, true, true, true},
        {TempSource::WindowsTemp, false, false, false},
        {TempSource::CTemp, false, false, false},
        {TempSource::CTmp, false, false, false},
        {TempSource::WindowsDir, false, false, false},
        {TempSource::CTmp, true, false, false},
        {TempSource::TempPath, true, false, true},
        {TempSource::UserProfileTemp, false, false, true},
        {TempSource::HomeDrivePath, false, false, true},
    };
    const auto& rows = wl::tempCandidateRows();
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(rows[i].source, expected[i].source) << "row " << i + 1;
        EXPECT_EQ(rows[i].createFirst, expected[i].createFirst) << "row " << i + 1;
        EXPECT_EQ(rows[i].rejectUnrepresentable, expected[i].reject) << "row " << i + 1;
        EXPECT_EQ(rows[i].longFormIfConfigured, expected[i].longForm) << "row " << i + 1;
    }
}

// A machine for the search: which sources exist and which directories pass.
struct FakeMachine {
    std::map<TempSource, std::string> sources;
    std::set<std::string> usable;
    std::vector<std::size_t> visited;  // row numbers, 1-based, of the candidates checked

    std::optional<std::string> search() {
        return wl::searchTempCandidates(
            [&](const wl::TempCandidateRow& row) -> std::optional<std::string> {
                auto it = sources.find(row.source);
                if (it == sources.end()) return std::nullopt;
                return it->second;
            },
            [&](std::string& candidate, const wl::TempCandidateRow& row) {
                visited.push_back(std::size_t(&row - wl::tempCandidateRows().data()) + 1);
                return usable.count(candidate) != 0;
            });
    }
};

TEST(TempCandidates, SearchTakesTheFirstUsableAndSkipsMissingSources) {
    struct {
        const char* name;
        std::map<TempSource, std::string> sources;
        std::set<std::string> usable;
        std::optional<std::string> result;
        std::vector<std::size_t> visited;
    } cases[] = {
        {"writable temp", {{TempSource::TempPath, "C:\\T\\"}}, {"C:\\T\\"}, "C:\\T\\", {1}},
        {"profile when temp fails",
         {{TempSource::TempPath, "C:\\T\\"}, {TempSource::UserProfileTemp, "C:\\U\\AppData\\Local\\Temp"}},
         {"C:\\U\\AppData\\Local\\Temp"},
         "C:\\U\\AppData\\Local\\Temp",
         {1, 2}},
        {"fixed places after the first four",
         {{TempSource::TempPath, "C:\\T\\"}, {TempSource::CTemp, "c:\\temp"}, {TempSource::CTmp, "c:\\tmp"}},
         {"c:\\tmp"},
         "c:\\tmp",
         {1, 6, 7}},
        {"nothing usable visits every available row",
         {{TempSource::TempPath, "C:\\T\\"}, {TempSource::WindowsDir, "C:\\W"}, {TempSource::HomeDrivePath, "H"}},
         {},
         std::nullopt,
         {1, 3, 8, 10, 12}},
        {"empty source text is skipped", {{TempSource::TempPath, ""}, {TempSource::CTemp, "c:\\temp"}}, {"c:\\temp"},
         "c:\\temp", {6}},
        {"no sources at all", {}, {}, std::nullopt, {}},
    };
    for (auto& c : cases) {
        FakeMachine machine{c.sources, c.usable, {}};
        EXPECT_EQ(machine.search(), c.result) << c.name;
        EXPECT_EQ(machine.visited, c.visited) << c.name;
    }
}

TEST(TempCandidates, CheckMayReplaceTheCandidate) {
    std::optional<std::u16string> found = wl::searchTempCandidates(
        [](const wl::TempCandidateRow&) -> std::optional<std::u16string> { return std::u16string(u"C:\\PROGRA~1"); },
        [](std::u16string& candidate, const wl::TempCandidateRow&) {
            candidate = u"C:\\Program Files";
            return true;
        });
    ASSERT_TRUE(found);
    EXPECT_EQ(utf8(*found), "C:\\Program Files");
}

TEST(TempCandidates, LongFormVerdicts) {
    using V = wl::LongFormVerdict;
    struct {
        const char* name;
        std::optional<std::string> longForm;
        bool reject, adopt;
        V verdict;
    } cases[] = {
        {"no long form", std::nullopt, true, true, V::Keep},
        {"unrepresentable refused", "C:\\Users\\?\\Temp", true, false, V::Reject},
        {"unrepresentable refused even when adopting", "C:\\Users\\?\\Temp", true, true, V::Reject},
        {"unrepresentable kept on second chance", "C:\\Users\\?\\Temp", false, true, V::Keep},
        {"long form adopted", "C:\\Users\\Alexander\\Temp", true, true, V::Adopt},
        {"long form not wanted", "C:\\Users\\Alexander\\Temp", true, false, V::Keep},
        {"same as candidate", "C:\\Users\\ALEXAN~1\\Temp", false, true, V::Keep},
        {"too long for the buffer", std::string(5999, 'a'), false, true, V::Keep},
        {"just fits the buffer", std::string(5998, 'a'), false, true, V::Adopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wl::judgeLongForm("C:\\Users\\ALEXAN~1\\Temp", c.longForm, c.reject, c.adopt), c.verdict) << c.name;
}

TEST(TempNames, ProbeFallbackAndPerRunNames) {
    EXPECT_EQ(wl::firstRandom(1), 41) << "the C runtime's first draw after srand(1)";
    EXPECT_EQ(wl::firstRandom(0), 38);
    EXPECT_EQ(wl::tempRandomSeed(1700000000, 1234), uint32_t(1700000000ull * 1234ull));

    EXPECT_EQ(wl::probeDirectoryName(std::string("C:\\T"), 1234, 567), "C:\\T\\vektw1234567");
    EXPECT_EQ(wl::probeDirectoryName(std::string("C:\\T\\"), 8, 9), "C:\\T\\\\vektw89") << "separator doubled";
    EXPECT_EQ(utf8(wl::probeDirectoryName(std::u16string(u"C:\\T"), 1234, 567)), "C:\\T\\vektw1234567");

    EXPECT_EQ(wl::fallbackTempFileName("C:\\T", 5, wl::kByteCodec), "C:\\T\\vek5");
    EXPECT_EQ(wl::fallbackTempFileName("C:\\T\\", 5, wl::kByteCodec), "C:\\T\\vek5");
    EXPECT_EQ(wl::fallbackTempFileName("C:/T/", 5, wl::kByteCodec), "C:/T/vek5");
    // 表 ends in the byte of the backslash, and is no separator.
    EXPECT_EQ(wl::fallbackTempFileName(cp932("C:\\予定表"), 5, kCodePage932), cp932("C:\\予定表\\vek5"));

    EXPECT_EQ(wl::launcherTempDirName("C:\\T\\vek1A2B.tmp", 1700000000), "C:\\T\\vek1A2B.tmp_dir1700000000");
    EXPECT_EQ(wl::launcherTempDirName("x", 0x100000005LL), "x_dir5") << "low 32 bits";
    EXPECT_EQ(wl::launcherTempDirName("x", 0x80000000LL), "x_dir-2147483648");
}

TEST(PerRunDirectory, TenAttemptsThenNothing) {
    for (int failures : {0, 3, 9, 10, 25}) {
        int files = 0;
        int attempts = 0;
        clearLog();
        std::optional<std::string> made = wl::createLauncherTempDirWith(
            [&] { return "C:\\T\\vek" + std::to_string(++files) + ".tmp"; }, [] { return int64_t(1700000000); },
            [&](const std::string&, uint32_t& error) {
                if (attempts++ < failures) {
                    error = 183;
                    return false;
                }
                return true;
            });
        if (failures < 10) {
            ASSERT_TRUE(made) << failures;
            EXPECT_EQ(*made, "C:\\T\\vek" + std::to_string(failures + 1) + ".tmp_dir1700000000");
        } else {
            EXPECT_FALSE(made) << failures;
        }
        EXPECT_EQ(attempts, std::min(failures + 1, 10)) << failures;
        std::vector<std::string> lines = logLines();
        EXPECT_EQ(lines.front(), "Temp dir3: C:\\T\\vek1.tmp_dir1700000000");
        if (failures > 0) {
            EXPECT_EQ(lines[1], "Could not create dir (183)");
        }
    }
    clearLog();
}

// A directory tree in memory; removing a directory fails while it holds anything.
class FakeTree {
public:
    explicit FakeTree(std::map<std::string, bool> entries) : entries_(std::move(entries)) {}

    wl::DirectoryOps ops() {
        return {
            [this](const std::string& pattern) {
                std::string dir = pattern.substr(0, pattern.size() - 3);  // drop "*.*", keep the "\"
                std::vector<wl::DirectoryEntry> out{{".", true}, {"..", true}};
                for (const auto& [path, isDir] : entries_) {
                    if (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
                        path.find('\\', dir.size()) == std::string::npos)
                        out.push_back({path.substr(dir.size()), isDir, links_.count(path) != 0});
                }
                return out;
            },
            [this](const std::string& path) {
                for (const auto& entry : entries_)
                    if (entry.first.compare(0, path.size() + 1, path + "\\") == 0) return;
                entries_.erase(path);
            },
            [this](const std::string& path) { entries_.erase(path); },
        };
    }
    std::set<std::string> links_;
    std::map<std::string, bool> entries_;
};

TEST(CleanUp, RemovesOneLevelAndLeavesDeeperNesting) {
    struct {
        const char* name;
        std::map<std::string, bool> before;
        std::set<std::string> links;
        std::set<std::string> after;
    } cases[] = {
        {"flat and one level",
         {{"R", true}, {"R\\a.jar", false}, {"R\\lib", true}, {"R\\lib\\b.dll", false}, {"R\\e", true}},
         {},
         {"R"}},
        {"two levels stay",
         {{"R", true}, {"R\\a.jar", false}, {"R\\lib", true}, {"R\\lib\\b.dll", false}, {"R\\lib\\x", true},
          {"R\\lib\\x\\c.dll", false}},
         {},
         {"R", "R\\lib", "R\\lib\\x", "R\\lib\\x\\c.dll"}},
        {"empty directory two levels down goes",
         {{"R", true}, {"R\\lib", true}, {"R\\lib\\x", true}},
         {},
         {"R"}},
        {"a link is removed, not entered",
         {{"R", true}, {"R\\link", true}, {"R\\link\\keep.txt", false}},
         {"R\\link"},
         {"R", "R\\link", "R\\link\\keep.txt"}},
    };
    for (auto& c : cases) {
        FakeTree tree(c.before);
        tree.links_ = c.links;
        wl::emptyDirectoryWith("R", true, tree.ops());
        std::set<std::string> left;
        for (const auto& entry : tree.entries_) left.insert(entry.first);
        EXPECT_EQ(left, c.after) << c.name;
    }
}

TEST(CleanUp, WithoutRecurseOnlyFilesAndEmptyDirectoriesGo) {
    FakeTree tree({{"R", true}, {"R\\a", false}, {"R\\d", true}, {"R\\d\\f", false}, {"R\\e", true}});
    wl::emptyDirectoryWith("R\\", false, tree.ops());
    std::set<std::string> left;
    for (const auto& entry : tree.entries_) left.insert(entry.first);
    EXPECT_EQ(left, (std::set<std::string>{"R", "R\\d", "R\\d\\f"}));

    // A directory whose name ends in 表 (95 5C) gets its separator.
    const std::string dir = cp932("R\\予定表");
    FakeTree japanese({{dir, true}, {dir + "\\a", false}});
    wl::DirectoryOps ops = japanese.ops();
    ops.codec = &kCodePage932;
    wl::emptyDirectoryWith(dir, false, ops);
    EXPECT_EQ(japanese.entries_.size(), 1u);
}

TEST(CleanUp, RunDirectoryThatIsALinkIsLeftAlone) {
    for (bool isLink : {false, true}) {
        FakeTree tree({{"R", true}, {"R\\a.jar", false}, {"R\\lib", true}, {"R\\lib\\b.dll", false}});
        wl::removeRunDirectoryWith("R", isLink, tree.ops());
        EXPECT_EQ(tree.entries_.size(), isLink ? 4u : 0u) << "isLink " << isLink;
    }
}

// An entry is removed only when what its name reaches lies directly in the
// directory being emptied; a Unix link under Wine reaches its target.
TEST(CleanUp, EntryMustLieDirectlyInItsDirectory) {
    struct {
        const char16_t* entry;
        const char16_t* directory;
        bool within;
    } cases[] = {
        {u"\\\\?\\C:\\T\\vek1.tmp_dir5\\a.jar", u"\\\\?\\C:\\T\\vek1.tmp_dir5", true},
        {u"\\\\?\\C:\\T\\vek1.tmp_dir5\\a.jar", u"\\\\?\\C:\\T\\vek1.tmp_dir5\\", true},
        {u"\\\\?\\C:\\t\\VEK1.tmp_dir5\\a.jar", u"\\\\?\\C:\\T\\vek1.tmp_dir5", true},
        {u"\\\\?\\C:\\users\\me\\keep.txt", u"\\\\?\\C:\\T\\vek1.tmp_dir5", false},
        {u"\\\\?\\C:\\T\\vek1.tmp_dir5\\lib\\b.dll", u"\\\\?\\C:\\T\\vek1.tmp_dir5", false},
        {u"\\\\?\\C:\\T\\vek1.tmp_dir5x\\a.jar", u"\\\\?\\C:\\T\\vek1.tmp_dir5", false},
        {u"\\\\?\\C:\\T\\vek1.tmp_dir5", u"\\\\?\\C:\\T\\vek1.tmp_dir5", false},
        {u"\\\\?\\C:\\T\\vek1.tmp_dir5\\", u"\\\\?\\C:\\T\\vek1.tmp_dir5", false},
        {u"a.jar", u"\\\\?\\C:\\T", false},
        {u"\\\\?\\C:\\T\\a.jar", u"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wl::liesDirectlyIn(c.entry, c.directory), c.within) << utf8(c.entry) << " in " << utf8(c.directory);
}

TEST(CleanUp, EmptyOrDotPathIsLeftAlone) {
    for (const char* path : {"", ".", ".\\R", "..\\R"}) {
        bool listed = false;
        wl::DirectoryOps ops{[&](const std::string&) {
                                 listed = true;
                                 return std::vector<wl::DirectoryEntry>{};
                             },
                             [](const std::string&) {}, [](const std::string&) {}};
        wl::emptyDirectoryWith(path, true, ops);
        EXPECT_FALSE(listed) << path;
    }
}

}  // namespace
