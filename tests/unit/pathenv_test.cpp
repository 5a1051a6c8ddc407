#include "files/pathenv.h"

#include <gtest/gtest.h>

#include "files/paths.h"
#include "test_support.h"

using namespace testing_support;

namespace {

TEST(PathEnv, ReduceKeepsEntriesUnderTheWindowsDirectory) {
    struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"C:\\Windows\\system32;D:\\tools;c:\\windows", "C:\\Windows\\system32;c:\\windows"},
        {"D:\\tools;E:\\bin", ""},
        {";;C:\\WINDOWS\\System32;;D:\\x;", "C:\\WINDOWS\\System32"},
        {"C:;C:\\Win;C:\\Windows", "C:\\Windows"},
        {"D:\\C:\\Windows", ""},
        {"", ""},
        {"C:\\WindowsApps;C:\\Windows.old\\bin;C:\\Windows\\;C:\\Windows/x", "C:\\Windows\\;C:\\Windows/x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(utf8(wl::reducePathValue(wide(c.path), u"C:\\Windows")), c.expected) << c.path;
    EXPECT_EQ(utf8(wl::reducePathValue(u"C:\\x;D:\\y", u"C:\\")), "C:\\x") << "a root keeps what is on its drive";
}

TEST(PathEnv, PrependPutsDirectoriesInFrontWithOneSeparator) {
    struct {
        std::vector<std::u16string> directories;
        const char* current;
        const char* expected;
    } cases[] = {
        {{u"C:\\App\\lib", u"C:\\ext"}, "C:\\Windows;D:\\x", "C:\\App\\lib;C:\\ext;C:\\Windows;D:\\x"},
        {{}, "C:\\Windows", "C:\\Windows"},
        {{u"a;"}, "old", "a;old"},
        {{u"a"}, "", "a;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(utf8(wl::prependPathEntries(c.directories, wide(c.current))), c.expected) << c.expected;
}

TEST(PathEnv, NativeLibraryEntriesResolveAgainstTheLauncherDirectory) {
    // "lib;C:\ext" with the launcher in C:\App\ puts C:\App\lib;C:\ext; in front.
    std::vector<std::u16string> resolved;
    for (const std::string& entry : wl::splitList(std::string("lib;C:\\ext")))
        resolved.push_back(wl::composeResolvedPath(wide(entry), u"C:\\App\\"));
    EXPECT_EQ(utf8(wl::prependPathEntries(resolved, u"OLD")), "C:\\App\\lib;C:\\ext;OLD");
}

}  // namespace
