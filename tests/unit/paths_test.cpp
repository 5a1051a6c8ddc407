#include <gtest/gtest.h>

#include "files/paths.h"

using namespace wl;

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
        std::string narrow(c.in.begin(), c.in.end());
        collapseBackslashesBytes(narrow);
        EXPECT_EQ(narrow, std::string(c.out.begin(), c.out.end()));
    }
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
