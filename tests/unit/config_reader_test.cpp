// The packer's reading of a configuration file: every refusal says where
// ("line:column: ") and what, and the included-file names follow the
// launcher's own rule.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "config.h"

namespace {

namespace fs = std::filesystem;

class ConfigErrors : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("config-reader-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        for (const char* name : {"a", "b", "app.ico"}) std::ofstream(dir_ / name) << name;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The error of compiling the text, or "accepted".
    std::string errorOf(const std::string& toml, int codePage = 1252) {
        pack::PackConfig config;
        std::string error;
        return pack::compileConfig(toml, dir_.string(), codePage, config, error) ? "accepted" : error;
    }

    fs::path dir_;
};

struct Case {
    const char* toml;
    const char* error;
};

TEST_F(ConfigErrors, TablesAndKeys) {
    const Case cases[] = {
        {"applicationType = 1\n", "1:1: 'applicationType' stands outside a table; settings belong under [settings]"},
        {"[setting]\n", "1:1: unknown table [setting]; the file has [settings], [messages], [[language]], [[file]], "
                        "[resources] and [resources.version]"},
        {"[[settings]]\n", "1:1: unknown table [[settings]]; the file has [settings], [messages], [[language]], "
                           "[[file]], [resources] and [resources.version]"},
        {"[settings]\nnoSuchSetting = 1\n", "2:1: unknown setting name 'noSuchSetting'"},
        {"[messages]\nmainClass = \"x\"\n", "2:1: 'mainClass' is a setting; put it under [settings]"},
        {"[settings]\nerrorCaption = \"x\"\n", "2:1: 'errorCaption' is a message; put it under [messages]"},
        {"[settings]\n99999999999 = 1\n", "2:1: the id 99999999999 is out of range"},
        {"[settings]\napplicationType = 1\n107 = 2\n", "3:1: setting 107 is given twice"},
        {"[messages]\nerrorCaption = \"a\"\n1000 = \"b\"\n", "3:1: message 1000 is given twice"},
        {"[[language]]\nerrorCaption = \"x\"\n", "1:1: [[language]] needs 'prefix'"},
        {"[resources]\nlogo = \"a\"\n", "2:1: [resources] takes 'icon' and the table [resources.version], not 'logo'"},
        {"[resources]\nicon = \"none.ico\"\n", nullptr},  // names the missing path: checked below
        {"[settings]\nmainClass = \"open\n", nullptr},     // toml++'s own text: checked below
    };
    for (const Case& c : cases) {
        std::string error = errorOf(c.toml);
        if (c.error) EXPECT_EQ(error, c.error) << c.toml;
        else EXPECT_NE(error, "accepted") << c.toml;
    }
    EXPECT_EQ(errorOf("[resources]\nicon = \"none.ico\"\n").rfind("2:1: the icon file ", 0), 0u);
    EXPECT_EQ(errorOf("[settings]\nmainClass = \"open\n").rfind("2:", 0), 0u);
}

TEST_F(ConfigErrors, ValuesOfTheWrongKind) {
    const Case cases[] = {
        {"[settings]\napplicationType = true\n", "2:1: 'applicationType' takes an integer, not a boolean"},
        {"[settings]\nmainClass = 3\n", "2:1: 'mainClass' takes a string, not an integer"},
        {"[settings]\nsingleInstance = 1.5\n", "2:1: 'singleInstance' takes a boolean, not a float"},
        {"[settings]\nclassPath = [\"a\"]\n",
         "2:1: 'classPath' takes a string, not an array; arrays are not used in this file"},
        {"[messages]\nerrorCaption = 1\n", "2:1: the message 'errorCaption' takes a string, not an integer"},
        {"[settings]\nmainClass = \"\xE4\xB8\xAD\"\n",
         "2:1: 'mainClass' holds a character that code page 1252 cannot represent"},
        {"[[language]]\nprefix = \"\xE4\xB8\xAD\"\n", "1:1: the prefix cannot be written in code page 1252"},
        {"[resources.version]\nFileVersion = \"x\"\n",
         "2:1: 'FileVersion' must begin with a version number such as 1.2.3.4, not \"x\""},
        {"[resources.version]\nProductVersion = \"1.70000\"\n",
         "2:1: 'ProductVersion' must have numbers no larger than 65535, not \"1.70000\""},
        {"[resources.version]\nProductName = \"a\\u0000b\"\n",
         "2:1: 'ProductName' holds a NUL character (\\u0000), which would end the text"},
        {"[resources.version]\nComments = \"x\"\n",
         "2:1: [resources.version] takes FileVersion, ProductVersion, ProductName, CompanyName, FileDescription, "
         "LegalCopyright, OriginalFilename, not 'Comments'"},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf(c.toml), c.error) << c.toml;
}

TEST_F(ConfigErrors, IncludedFiles) {
    const Case cases[] = {
        {"[[file]]\nname = \"a\"\n", "1:1: [[file]] needs 'source'"},
        {"[[file]]\nname = \"a\"\nsource = \"a\"\nmode = 1\n",
         "4:1: [[file]] takes only 'name' and 'source', not 'mode'"},
        {"[[file]]\nname = \"..\\\\a\"\nsource = \"a\"\n",
         "1:1: the included file name '..\\a' leaves the directory with \"..\" or \".\""},
        {"[[file]]\nname = \"x/y/z\"\nsource = \"a\"\n", "1:1: the included file name 'x/y/z' is nested deeper than one directory"},
        {"[[file]]\nname = \"a;b\"\nsource = \"a\"\n",
         "1:1: the included file name 'a;b' contains \";\", the separator of the name list"},
        {"[[file]]\nname = \"lib\\\\NUL.txt\"\nsource = \"a\"\n", "1:1: the included file name 'lib\\NUL.txt' names a device"},
        {"[[file]]\nname = \"\xE4\xB8\xAD\"\nsource = \"a\"\n",
         "1:1: the included file name '\xE4\xB8\xAD' cannot be written in code page 1252"},
        {"[[file]]\nname = \"lib\\\\cb.dll\"\nsource = \"a\"\n\n[[file]]\nname = \"lib\\\\cb.dll\"\nsource = \"b\"\n",
         "5:1: the included file name 'lib\\cb.dll' names the same file as the [[file]] at 1:1 (Windows does not "
         "tell letter case, / and \\ apart)"},
        {"[[file]]\nname = \"a\"\nsource = \"a\"\n[[file]]\nname = \"\xC3\x89T\xC3\xA9/x\"\nsource = \"a\"\n"
         "[[file]]\nname = \"\xC3\xA9t\xC3\x89\\\\X\"\nsource = \"b\"\n",
         "7:1: the included file name '\xC3\xA9t\xC3\x89\\X' names the same file as the [[file]] at 4:1 (Windows "
         "does not tell letter case, / and \\ apart)"},
        {"[settings]\nincludedFileCount = 1\n[[file]]\nname = \"a\"\nsource = \"a\"\n",
         "2:1: includedFileCount and includedFileNames come from the [[file]] entries; do not set them too"},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf(c.toml), c.error) << c.toml;
    EXPECT_EQ(errorOf("[[file]]\nname = \"a\"\nsource = \"none\"\n").rfind("1:1: the source file ", 0), 0u);
    // In code page 932 ポ ends in the byte of "|" and ソ in that of "\": the
    // names are fine, and ア and ヂ, alike but for "A" and "a" in their
    // second byte, are two files.
    EXPECT_EQ(errorOf("[[file]]\nname = \"\xE3\x83\x9D\\\\\xE3\x82\xBD\"\nsource = \"a\"\n"
                      "[[file]]\nname = \"\xE3\x82\xA2\"\nsource = \"a\"\n[[file]]\nname = \"\xE3\x83\x82\"\nsource = \"b\"\n",
                      932),
              "accepted");
}

TEST_F(ConfigErrors, LaterFileOfTheSameNameReplacesTheEarlier) {
    pack::PackConfig first, later;
    std::string error;
    ASSERT_TRUE(pack::readConfigLayer("[[file]]\nname = \"lib/\xC3\x89t\xC3\xA9.txt\"\nsource = \"a\"\n"
                                      "[[file]]\nname = \"x\"\nsource = \"a\"\n",
                                      dir_.string(), 1252, first, error)) << error;
    ASSERT_TRUE(pack::readConfigLayer("[[file]]\nname = \"LIB\\\\\xC3\xA9T\xC3\x89.TXT\"\nsource = \"b\"\n",
                                      dir_.string(), 1252, later, error)) << error;
    pack::overlayConfig(first, std::move(later));
    ASSERT_EQ(first.files.size(), 2u);
    EXPECT_EQ(first.files[0].name, "LIB\\\xE9T\xC9.TXT");
    EXPECT_EQ(fs::path(first.files[0].sourcePath).filename(), "b");
}

}  // namespace
