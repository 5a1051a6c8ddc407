// The JVM option list: options files, option lines, version-specific lines,
// locale options, class path and module path, and the final assembly.
#include "options/vmoptions.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "base/process_state.h"
#include "config/entries.h"
#include "config/store.h"
#include "files/paths.h"
#include "options/expand.h"
#include "test_support.h"

using namespace wl;
using namespace testing_support;

namespace {

using Strings = std::vector<std::string>;
using Settings = std::map<int32_t, std::string>;
using Files = std::map<std::string, std::string>;
const std::string kNoPath = "-Djava.class.path=";

// The system in memory, with the launcher in C:\App\.
struct FakeInputs : OptionInputs {
    Files files;                             // path -> contents
    std::set<std::string> existing;          // further paths that exist
    std::map<std::string, Strings> listings;  // search pattern -> names
    std::map<std::string, std::string> env;  // defined variables
    Strings opened;                          // every file asked for, in order

    void expand(std::u16string& text, bool) override {
        std::string narrow = utf8(text);
        expandNarrow(narrow);
        text = wide(narrow);
    }
    void expandNarrow(std::string& text) override {
        Strings block;
        for (const auto& [name, value] : env) block.push_back(name + "=" + value);
        expandWithValues(text, {"C:\\App\\", launcherTempDir, "", "C:\\Temp\\"}, block);
    }
    std::string toNarrow(const std::u16string& text) override { return utf8(text); }
    std::u16string resolve(const std::u16string& path, const std::u16string* base) override {
        return composeResolvedPath(path, base ? directoryOf(*base) : u"C:\\App\\");
    }
    std::u16string fullFileName(const std::u16string& path) override { return path; }
    std::optional<OpenedFile> openFile(const std::u16string& path) override {
        opened.push_back(utf8(path));
        auto it = files.find(utf8(path));
        return it == files.end() ? std::nullopt : std::optional<OpenedFile>({&it->second, it->second});
    }
    std::u16string modulePath() override { return u"C:\\App\\app.exe"; }
    std::u16string moduleFileName() override { return u"C:\\App\\app.exe"; }
    std::string launcherDir() override { return "C:\\App\\"; }
    bool exists(const std::string& path) override { return existing.count(path) || files.count(path); }
    Strings findFiles(const std::string& pattern) override { return listings[pattern]; }
    std::optional<std::string> environmentVariable(const std::string& name) override {
        auto it = env.find(name);
        return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    std::string installationDir() override { return "C:\\App\\rt"; }
};

class VmOptionsTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    void reset(const Settings& settings = {}) {
        configStore = {};
        configStore.settings = {settings.begin(), settings.end()};
        isServiceProcess = runInConsole = false;
        flavourCode = 0;
        launcherTempDir.clear();
        javaVersion = "17.0.2";
        localeLanguage.clear();
        localeCountry.clear();
        clearLog();
    }
    // The whole list; a failure fails the test.
    Strings assemble(const Strings& args = {}, const Strings& properties = {}) {
        std::vector<std::u16string> arguments;
        for (const std::string& a : args) arguments.push_back(wide(a));
        VmOptionList list;
        std::optional<PathFailure> failure = assembleOptionList(in, properties, arguments, list);
        EXPECT_FALSE(failure) << failure->message << " " << failure->argument;
        return list;
    }
    bool logged(const std::string& line) {
        Strings lines = logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    FakeInputs in;
};

TEST(OptionsFileLines, LineRules) {
    const std::string longLine(40000, 'x');
    const std::pair<std::string, Strings> cases[] = {
        {"-Xmx512m\r\n\r\n#-Xms1g\r\n   -Dx=a b  \r\n", {"-Xmx512m", "-Dx=a b"}},
        {"\t-Dt=1\n", {"\t-Dt=1"}},                                // a tab is kept
        {"\xEF\xBB\xBF#-Da\n", {"\xEF\xBB\xBF#-Da"}},              // so is a byte-order mark
        {"a\rb\r\r\nlast", {"a\rb", "last"}},                      // a lone CR inside stays
        {longLine + "\n", {longLine.substr(0, 29999), longLine.substr(29999)}},
    };
    for (const auto& [bytes, lines] : cases) EXPECT_EQ(optionsFileLines(bytes), lines) << bytes.substr(0, 20);
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
    // billion lookups of absent ones.
    reset({{cfg::versionSpecificOptionCount, "2000000000"},
           {cfg::versionSpecificCondition + 2, "17-17"},
           {cfg::versionSpecificOptions + 2, "-Dk=1"}});
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

TEST_F(VmOptionsTest, ClassPathPieces) {
    // Without a per-run directory, "\\user" at the drive root is never scanned.
    in.existing = {"C:\\App\\.\\lib", "C:\\App\\lib\\y.jar", "\\user"};
    in.listings = {{"C:\\App\\.\\lib\\*.jar", {"b.jar", "a.jar"}}, {"C:\\App\\.\\lib\\*.zip", {"a.zip"}},
                   {"\\user\\*.jar", {"root.jar"}}};
    in.env = {{"MYCP", "\"C:\\a b\\x.jar\""}, {"SEMI", "C:\\y.jar;"}, {"OPEN", "\"C:\\o.jar"}, {"EMPTY", ""},
              {"TWO", "a.jar;b.jar"}};
    const std::pair<const char*, std::string> cases[] = {
        {"S0.\\lib", "C:\\App\\.\\lib\\b.jar;C:\\App\\.\\lib\\a.jar;C:\\App\\.\\lib\\a.zip"},
        {"A0lib\\x.jar;;A1lib\\y.jar", "C:\\App\\lib\\x.jar;C:\\App\\lib\\y.jar"},
        {"E0MYCP;E0SEMI;E0OPEN", "C:\\a b\\x.jar;C:\\y.jar;\"C:\\o.jar"},
        {"E0NONE;E0EMPTY;S0nodir;X0whatever;D0C:\\d", "C:\\d"},
        {"A0${TWO}", "C:\\App\\a.jar;C:\\App\\b.jar"},
    };
    for (const auto& [entry, option] : cases) {
        configStore.settings[cfg::classPath] = entry;
        EXPECT_EQ(assemble(), (Strings{kNoPath + option})) << entry;
    }
    struct Failing {
        const char* entry;
        int32_t message;
        const char* argument;
    } failing[] = {
        {"A1lib\\x.jar", cfg::classPathEntryMissing, "lib\\x.jar"}, {"E1NONE", cfg::variableUndefined, "NONE"},
        {"E1EMPTY", cfg::classPathEntryMissing, "EMPTY"},          {"S1nodir", cfg::classPathEntryMissing, "nodir"},
        {"A0ok;Q1x", cfg::classPathEntryMissing, "x"},
    };
    for (const Failing& f : failing) {
        configStore.settings[cfg::classPath] = f.entry;
        VmOptionList list;
        std::optional<PathFailure> failure = buildClassAndModulePath(in, {}, list);
        ASSERT_TRUE(failure) << f.entry;
        EXPECT_EQ(failure->message, f.message);
        EXPECT_EQ(failure->argument, f.argument);
    }
}

TEST_F(VmOptionsTest, OverridesPerRunArchivesAndRuntimeArchive) {
    reset({{cfg::classPath, "A0R"}, {cfg::useDefaultVmOptionsFile, "1"}});
    flavourCode = 'q';
    launcherTempDir = "C:\\T\\run";
    in.existing = {"C:\\T\\run", "C:\\T\\run\\user"};
    in.listings = {{"C:\\T\\run\\*.jar", {"inc.jar"}}, {"C:\\T\\run\\user\\*.zip", {"u.zip"}}};
    const std::string archives = "C:\\T\\run\\inc.jar;C:\\T\\run\\user\\u.zip;C:\\App\\rt\\.quarlo\\qarruntime.jar;";
    in.files["C:\\App\\app.vmoptions"] = "-classpath/p P\n-classpath/a Q\n";
    EXPECT_EQ(assemble(), (Strings{kNoPath + "P;" + archives + "C:\\App\\R;Q"}));
    // A replacement suppresses entry 121 and its required checks.
    configStore.settings[cfg::classPath] = "A1missing.jar";
    in.files["C:\\App\\app.vmoptions"] = "-classpath X\n";
    EXPECT_EQ(assemble(), (Strings{kNoPath + archives + "X"}));
}

TEST_F(VmOptionsTest, ModuleOptions) {
    const std::string runtime = ";C:\\App\\rt\\.quarlo\\qarruntime.jar";
    struct Case {
        char flavour;
        const char *modulePath, *inModule, *mainClass;
        Strings expected;
    } cases[] = {
        {'q', "D0mods", "1", "com.acme.app/com.acme.app.Main",
         {"--module-path=C:\\App\\mods" + runtime, "--add-opens=com.acme.app/com.acme.app=com.quarlo.runtime",
          "--add-modules=com.acme.app,com.quarlo.runtime"}},
        {'q', "S0mods", "1", "com.acme.app/Main",
         {"--module-path=C:\\App\\mods" + runtime, "--add-modules=com.acme.app,com.quarlo.runtime"}},
        {'v', "D0mods", "0", "x/y.Z", {"--module-path=C:\\App\\mods", "--add-modules=com.vennic.runtime"}},
        {'v', "", "1", "com.acme.app/com.acme.app.Main", {}},
    };
    for (const Case& c : cases) {
        reset({{cfg::modulePath, c.modulePath}, {cfg::mainClassInModule, c.inModule}, {cfg::mainClass, c.mainClass},
               {cfg::classPath, "D0cp"}});
        flavourCode = c.flavour;
        Strings expected = c.expected;
        expected.insert(expected.begin(), kNoPath + "C:\\App\\cp");
        EXPECT_EQ(assemble(), expected) << c.mainClass;
    }
}

TEST_F(VmOptionsTest, ServiceAndConsoleAdditions) {
    reset({{cfg::useDefaultVmOptionsFile, "1"}});
    isServiceProcess = true;
    in.files["C:\\App\\app.vmoptions"] = "-Xrs:x\n";
    EXPECT_EQ(assemble(), (Strings{"-Xrs:x", kNoPath, "-Xrs"}));
    EXPECT_TRUE(logged("service: adding -Xrs"));
    in.files["C:\\App\\app.vmoptions"] = "-Xrs\n";
    EXPECT_EQ(assemble(), (Strings{"-Xrs", kNoPath}));
    isServiceProcess = false;
    runInConsole = true;
    EXPECT_EQ(assemble(), (Strings{"-Xrs", kNoPath, "-Dquarlo.noRedir=true"}));
}

TEST_F(VmOptionsTest, InitArgumentsAndTheirLog) {
    VmOptionList texts = {"-Dp=1", kNoPath};
    std::vector<JavaVMOption> options;
    JavaVMInitArgs args;
    fillInitArgs(args, options, texts);
    EXPECT_EQ(args.version, JNI_VERSION_1_2);
    EXPECT_EQ(args.nOptions, 2);
    EXPECT_EQ(args.ignoreUnrecognized, JNI_TRUE);
    EXPECT_STREQ(args.options[1].optionString, "-Djava.class.path=");
    EXPECT_EQ(args.options[0].extraInfo, nullptr);
    EXPECT_EQ(logLines(), (Strings{"vmoption count 2", "vmoption 0: -Dp=1", "vmoption 1: -Djava.class.path="}));
}

}  // namespace
