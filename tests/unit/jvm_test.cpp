// The decisions of loading jvm.dll.
#include "jre/jvm.h"

#include <gtest/gtest.h>

#include "config/entries.h"
#include "test_support.h"

namespace wl {
namespace {

TEST(JvmLoading, TypeDirectoryOrder) {
    EXPECT_EQ(jvmTypeOrder(""), (std::vector<std::string>{"client", "server", "j9vm", "hotspot", "jrockit"}));
    EXPECT_EQ(jvmTypeOrder("server"),
              (std::vector<std::string>{"server", "client", "server", "j9vm", "hotspot", "jrockit"}));
}

TEST(JvmLoading, PathsOfAJavaExe) {
    struct Case {
        const char* javaExe;
        const char* bin;
        const char* home;
        const char* privateJre;
    } cases[] = {
        {"c:\\jre\\bin\\java.exe", "c:\\jre\\bin", "c:\\jre\\bin\\..", "c:\\jre\\bin\\..\\jre\\bin\\java.exe"},
        {"c:\\jre\\bin\\javaw.exe", "c:\\jre\\bin", "c:\\jre\\bin\\..", "c:\\jre\\bin\\..\\jre\\bin\\java.exe"},
        {"c:\\jdk\\bin\\..\\jre\\bin\\java.exe", "c:\\jdk\\bin\\..\\jre\\bin", "c:\\jdk\\bin\\..\\jre\\bin\\..",
         "c:\\jdk\\bin\\..\\jre\\bin\\..\\jre\\bin\\java.exe"},
        {"java.exe", "", "..", "..\\jre\\bin\\java.exe"},
        {"c:\\ソ\\bin\\java.exe", "c:\\ソ\\bin", "c:\\ソ\\bin\\..", "c:\\ソ\\bin\\..\\jre\\bin\\java.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.javaExe);
        // In code page 932, whose ソ (83 5C) ends in the byte of the backslash.
        const std::string javaExe = testing_support::cp932(c.javaExe);
        EXPECT_EQ(binDirectoryOf(javaExe), testing_support::cp932(c.bin));
        EXPECT_EQ(jvmHomeFor(javaExe), testing_support::cp932(c.home));
        EXPECT_EQ(privateJreJavaExe(javaExe, testing_support::kCodePage932), testing_support::cp932(c.privateJre));
    }
}

TEST(JvmLoading, UcrtPreloadOnlyBeforeWindows10) {
    EXPECT_TRUE(needsUcrtPreload(5, 1));
    EXPECT_TRUE(needsUcrtPreload(6, 1));
    EXPECT_TRUE(needsUcrtPreload(6, 3));
    EXPECT_FALSE(needsUcrtPreload(6, 4));
    EXPECT_FALSE(needsUcrtPreload(10, 0));
}

TEST(JvmLoading, MessageByLocationKind) {
    struct Case {
        LocationKind kind;
        int32_t id;
        LoadFailureMessage::Argument argument;
    } cases[] = {
        {LocationKind::None, cfg::noJvmFound, LoadFailureMessage::Bitness},
        {LocationKind::SearchPath, cfg::noJvmFound, LoadFailureMessage::Bitness},
        {LocationKind::Directory, cfg::jvmDamaged, LoadFailureMessage::LocationText},
        {LocationKind::EnvironmentVariable, cfg::javaHomeUnusable, LoadFailureMessage::LocationText},
        {LocationKind::Registry, cfg::jvmNotStartable, LoadFailureMessage::NoArgument},
    };
    for (const Case& c : cases) {
        LoadFailureMessage m = loadFailureMessage(c.kind);
        EXPECT_EQ(m.id, c.id);
        EXPECT_EQ(m.argument, c.argument);
    }
}

}  // namespace
}  // namespace wl
