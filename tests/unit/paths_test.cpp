#include <gtest/gtest.h>

#include "files/paths.h"
#include "test_support.h"

using namespace wl;
using testing_support::kCodePage1252;
using testing_support::kCodePage932;

namespace {
std::string sj(const char* text) { return testing_support::cp932(text); }
}  // namespace

TEST(Paths, CollapseBackslashes) {
    struct Case {
        std::u16string in, out;
    };
    const Case cases[] = {
        {u"C:\\\\a\\\\\\\\b", u"C:\\a\\b"},
        {u"\\\\server\\share\\x", u"\\\\server\\share\\x"},
        {u"\\\\\\server", u"\\\\server"},
        {u"a\\\\", u"a\\"},
        {u"\\", u"\\"},
        {u"", u""},
        {u"C:/a//b", u"C:/a//b"},
    };
    for (const Case& c : cases) {
        std::u16string p = c.in;
        collapseBackslashes(p);
        EXPECT_EQ(p, c.out);
        // Single-byte code pages collapse the bytes as the wide form.
        for (const NarrowCodec* codec : {&kByteCodec, &kCodePage1252, &kCodePage932}) {
            std::string narrow(c.in.begin(), c.in.end());
            collapseBackslashes(narrow, *codec);
            EXPECT_EQ(narrow, std::string(c.out.begin(), c.out.end()));
        }
    }
}

// In code page 932, 予 (97 5C), 表 (95 5C) and ソ (83 5C) end in the byte of
// the backslash: the narrow helpers see characters, not bytes.
TEST(Paths, DoubleByteCodePage) {
    const std::string app = sj("C:\\予定表\\ソ.exe");
    ASSERT_EQ(app, "C:\\\x97\x5C\x92\xE8\x95\x5C\\\x83\x5C.exe");
    std::string kept = app;
    collapseBackslashes(kept, kCodePage932);
    EXPECT_EQ(kept, app);
    std::string doubled = sj("C:\\\\予定表\\\\\\lib\\\\");
    collapseBackslashes(doubled, kCodePage932);
    EXPECT_EQ(doubled, sj("C:\\予定表\\lib\\"));

    EXPECT_EQ(composeResolvedPath(sj("lib\\a.jar"), sj("C:\\予定表\\"), kCodePage932), sj("C:\\予定表\\lib\\a.jar"));
    EXPECT_EQ(composeResolvedPath(sj("表"), sj("C:\\予\\"), kCodePage932), sj("C:\\予\\表"));
    EXPECT_EQ(directoryOf(app, kCodePage932), sj("C:\\予定表\\"));
    EXPECT_EQ(directoryOf(sj("C:\\ソ"), kCodePage932), "C:\\");
    EXPECT_EQ(directoryOf(sj("能"), kCodePage932), "");
    EXPECT_FALSE(endsWithBackslash(sj("C:\\予定表"), kCodePage932));
    EXPECT_TRUE(endsWithBackslash(sj("C:\\予定表\\"), kCodePage932));
    EXPECT_TRUE(endsWithBackslash("C:\\x\\", kByteCodec));
    EXPECT_FALSE(endsWithBackslash("", kCodePage932));

    // A lead byte with nothing after it has no characters to tell: the bytes
    // are left as they are, and scanned as bytes.
    std::string cut = "C:\\\\\x95";
    collapseBackslashes(cut, kCodePage932);
    EXPECT_EQ(cut, "C:\\\\\x95");
    EXPECT_EQ(directoryOf(std::string("C:\\a\\\x95"), kCodePage932), "C:\\a\\");
}

TEST(Paths, RelativeOrAbsolute) {
    struct Case {
        const char16_t* path;
        bool relative;
    };
    const Case cases[] = {
        {u"lib\\a.jar", true},   {u"C:\\x", false},     {u"\"C:\\x\"", false}, {u"\\\\srv\\s", false},
        {u"\"\\\\srv\\s", false}, {u"C:/x", true},      {u"C:x", true},        {u"\\x\\y", true},
        {u"ab", true},           {u"\"C:", true},       {u"", true},           {u"c:\\", false},
        {u"\"C:\\", false},      {u"..\\jre", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isRelativePath(std::u16string(c.path)), c.relative) << std::string(c.path, c.path + 3);
        std::u16string w(c.path);
        EXPECT_EQ(isRelativePath(std::string(w.begin(), w.end())), c.relative);
    }
}

TEST(Paths, EndsWithExe) {
    EXPECT_TRUE(endsWithExe("a.exe"));
    EXPECT_TRUE(endsWithExe("C:\\APP.EXE"));
    EXPECT_FALSE(endsWithExe(".exe"));
    EXPECT_FALSE(endsWithExe("a.exe "));
    EXPECT_FALSE(endsWithExe("app.ex"));
}

TEST(Paths, DriveRoot) {
    EXPECT_TRUE(isDriveRoot(std::u16string(u"C:\\")));
    EXPECT_TRUE(isDriveRoot(std::u16string(u"c:\\.")));
    EXPECT_TRUE(isDriveRoot(std::u16string(u"c:\\.\\.")));
    EXPECT_FALSE(isDriveRoot(std::u16string(u"c:\\x")));
    EXPECT_FALSE(isDriveRoot(std::u16string(u"c:")));
    EXPECT_FALSE(isDriveRoot(std::string("")));
}

TEST(Paths, ComposeResolved) {
    EXPECT_EQ(composeResolvedPath(u"lib\\a.jar", u"C:\\App\\"), u"C:\\App\\lib\\a.jar");
    EXPECT_EQ(composeResolvedPath(u"", u"C:\\App\\"), u"C:\\App\\");
    EXPECT_EQ(composeResolvedPath(u"D:\\x", u"C:\\App\\"), u"D:\\x");
    EXPECT_EQ(composeResolvedPath(u"\\a.jar", u"C:\\App\\"), u"C:\\App\\a.jar");
    EXPECT_EQ(composeResolvedPath(u"\"lib\"", u"C:\\App\\"), u"C:\\App\\\"lib\"");
    EXPECT_EQ(directoryOf(std::u16string(u"C:\\a\\b.exe")), u"C:\\a\\");
    EXPECT_EQ(directoryOf(std::u16string(u"b.exe")), u"");
    EXPECT_EQ(composeResolvedPath(std::string("lib\\\\a.jar"), "C:\\App\\", kByteCodec), "C:\\App\\lib\\a.jar");
    EXPECT_EQ(directoryOf(std::string("C:\\a/b.exe"), kCodePage1252), "C:\\a/");
}

TEST(Paths, NarrowModulePathCandidates) {
    int asked = 0;
    auto candidate = [&](std::optional<std::string> text, bool lossy) {
        return [=, &asked] {
            ++asked;
            NarrowCandidate c;
            c.text = text;
            c.lossy = lossy;
            return c;
        };
    };
    auto answer = [&](std::optional<std::string> text) {
        return [=, &asked]() -> std::optional<std::string> {
            ++asked;
            return text;
        };
    };
    // The long form wins when it converts cleanly; nothing else is asked.
    EXPECT_EQ(chooseNarrowModulePath(candidate("C:\\Long\\app.exe", false), candidate("X", false),
                                     answer("Y"), answer("Z")),
              "C:\\Long\\app.exe");
    EXPECT_EQ(asked, 1);
    // Lossy long form: the short form.
    EXPECT_EQ(chooseNarrowModulePath(candidate("C:\\?\\app.exe", true), candidate("C:\\LONG~1\\app.exe", false),
                                     answer("Y"), answer("Z")),
              "C:\\LONG~1\\app.exe");
    // Short form lossy too: the command interpreter.
    EXPECT_EQ(chooseNarrowModulePath(candidate("C:\\?\\app.exe", true), candidate("C:\\?\\app.exe", true),
                                     answer("C:\\DIR~1\\APP.EXE"), answer("Z")),
              "C:\\DIR~1\\APP.EXE");
    // No usable answer anywhere: the last resort, even when it is lossy.
    EXPECT_EQ(chooseNarrowModulePath(candidate(std::nullopt, false), candidate("C:\\x\\app.bin", false),
                                     answer(std::nullopt), answer("C:\\?\\app.exe")),
              "C:\\?\\app.exe");
    EXPECT_EQ(chooseNarrowModulePath(candidate(std::nullopt, true), candidate(std::nullopt, true),
                                     answer("C:\\a\\app.dll"), answer(std::nullopt)),
              "");
}

TEST(Paths, CommandInterpreterOutput) {
    EXPECT_EQ(shortPathFromCmdOutput("C:\\PROGRA~1\\app.exe\r\n", 0), "C:\\PROGRA~1\\app.exe");
    EXPECT_EQ(shortPathFromCmdOutput("C:\\a\nmore\n", 0), "C:\\a");
    EXPECT_EQ(shortPathFromCmdOutput("C:\\\r\n", 0), std::nullopt) << "5 bytes or fewer";
    EXPECT_EQ(shortPathFromCmdOutput("C:\\a\r\n", 0), "C:\\a") << "6 bytes are enough";
    EXPECT_EQ(shortPathFromCmdOutput("C:\\abc", 0), std::nullopt) << "no line end";
    EXPECT_EQ(shortPathFromCmdOutput("C:\\PROGRA~1\\app.exe\r\n", 1), std::nullopt);
}
