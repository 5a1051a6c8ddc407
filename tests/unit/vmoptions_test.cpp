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

// The system as the assembly sees it, in memory: the launcher in C:\App\.
struct FakeInputs : OptionInputs {
    std::map<std::string, std::string> files;     // path -> contents
    std::set<std::string> existing;               // further paths that exist
    std::map<std::string, Strings> listings;      // search pattern -> names
    std::map<std::string, std::string> env;       // defined variables
    Strings opened;                               // every path asked for, in order

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
    std::u16string resolve(const std::u16string& path, const std::u16string* baseFile) override {
        return composeResolvedPath(path, baseFile ? directoryOf(*baseFile) : u"C:\\App\\");
    }
    std::u16string fullFileName(const std::u16string& path) override { return path; }
    std::optional<OpenedFile> openFile(const std::u16string& path) override {
        opened.push_back(utf8(path));
        auto it = files.find(utf8(path));
        if (it == files.end()) return std::nullopt;
        return OpenedFile{&it->second, it->second};
    }
    std::u16string modulePath() override { return u"C:\\App\\app.exe"; }
    std::u16string moduleFileName() override { return u"C:\\App\\app.exe"; }
    std::string launcherDir() override { return "C:\\App\\"; }
    bool exists(const std::string& path) override { return existing.count(path) || files.count(path); }
    Strings findFiles(const std::string& pattern) override {
        auto it = listings.find(pattern);
        return it == listings.end() ? Strings{} : it->second;
    }
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
    static void reset() {
        configStore = {};
        isServiceProcess = runInConsole = false;
        flavourCode = 0;
        launcherTempDir.clear();
        javaVersion = "17.0.2";
        localeLanguage.clear();
        localeCountry.clear();
        clearLog();
    }
    void set(std::initializer_list<std::pair<int32_t, std::string>> settings) {
        for (const auto& [id, value] : settings) configStore.settings[id] = value;
    }
    // The whole list for these arguments; a failure fails the test.
    Strings assemble(const Strings& args = {}, const Strings& properties = {}) {
        std::vector<std::u16string> arguments;
        for (const std::string& a : args) arguments.push_back(wide(a));
        VmOptionList list;
        std::optional<PathFailure> failure = assembleOptionList(in, properties, arguments, list);
        EXPECT_FALSE(failure) << failure->message << " " << failure->argument;
        return list;
    }
    std::optional<PathFailure> classPathFailure() {
        VmOptionList list;
        return buildClassAndModulePath(in, {}, list);
    }
    bool logged(const std::string& line) {
        Strings lines = logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    FakeInputs in;
};

const std::string kNoPath = "-Djava.class.path=";

TEST(OptionsFileLines, LineRules) {
    const std::string longLine(40000, 'x');
    struct Case {
        const char* name;
        std::string bytes;
        Strings lines;
    } cases[] = {
        {"example", "-Xmx512m\r\n\r\n#-Xms1g\r\n   -Dx=a b  \r\n", {"-Xmx512m", "-Dx=a b"}},
        {"tab kept", "\t-Dt=1\n", {"\t-Dt=1"}},
        {"byte-order mark kept", "\xEF\xBB\xBF#-Da\n", {"\xEF\xBB\xBF#-Da"}},
        {"lone CR inside, trailing CRs gone", "a\rb\r\r\nlast", {"a\rb", "last"}},
        {"long line read as two", longLine + "\n", {longLine.substr(0, 29999), longLine.substr(29999)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(optionsFileLines(c.bytes), c.lines);
    }
}

TEST(OptionsFileLines, WildcardsAndMajorVersions) {
    struct Case {
        const char* pattern;
        const char* text;
        bool match;
    } cases[] = {
        {"1.8.*", "1.8.0_101", true}, {"1.8", "1.8.0_101", false}, {"1.?.0*", "1.8.0_1", true},
        {"*", "", true},              {"**0", "10", true},         {"*1", "10", false},
        {"a*b*c", "aXbYc", true},     {"A*", "a", false},          {"", "x", false},
    };
    for (const Case& c : cases) EXPECT_EQ(wildcardMatch(c.pattern, c.text), c.match) << c.pattern << " " << c.text;
    EXPECT_EQ(majorVersion("1.8.0_101"), 8);
    EXPECT_EQ(majorVersion("11.0.2"), 11);
    EXPECT_EQ(majorVersion("1"), 1);
    EXPECT_EQ(majorVersion(""), -1);
}

TEST_F(VmOptionsTest, VersionSpecificLines) {
    struct Case {
        const char* version;
        Strings conditions;  // pairs k = 0, 1, ... with options -Dk=<k>
        Strings expected;
    } cases[] = {
        {"1.8.0_101", {"8-8"}, {"-Dk=0"}},
        {"1.8.0_101", {"9-17"}, {}},
        {"1.8.0_101", {"*1.8.*"}, {"-Dk=0"}},
        {"1.8.0_101", {"*1.8"}, {}},
        {"17.0.2", {"11-99"}, {"-Dk=0"}},
        {"17.0.2", {"11-"}, {}},
        {"17.0.2", {"17", "1-8", "*17*", "11-99"}, {"-Dk=2"}},  // only the first match
        {"", {"*"}, {}},                                       // no runtime version: no check
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " " + c.conditions[0]);
        reset();
        javaVersion = c.version;
        set({{cfg::versionSpecificOptionCount, std::to_string(c.conditions.size())}});
        for (std::size_t k = 0; k < c.conditions.size(); ++k)
            set({{cfg::versionSpecificCondition + 2 * int32_t(k), c.conditions[k]},
                 {cfg::versionSpecificOptions + 2 * int32_t(k), "-Dk=" + std::to_string(k)}});
        Strings expected = c.expected;
        expected.push_back(kNoPath);
        EXPECT_EQ(assemble(), expected);
    }
    reset();
    set({{cfg::versionSpecificOptionCount, "2"}, {cfg::versionSpecificCondition, "17"},
         {cfg::versionSpecificCondition + 2, "8-11"}});
    assemble();
    Strings lines = logLines();
    lines.resize(6);
    EXPECT_EQ(lines, (Strings{"adding options", "check 2 version specific vm option lines for 17.0.2",
                              "ERROR: expected dash", "checking version 17 0", "checking min 8 max 11 with 17",
                              "checking version 8 0"}));
}

TEST_F(VmOptionsTest, OptionLinesAndSources) {
    struct Case {
        const char* name;
        std::map<int32_t, std::string> settings;
        std::map<std::string, std::string> files;
        Strings args;
        Strings expected;
    } cases[] = {
        {"sources in order, after the properties",
         {{cfg::vmOptions, "-Xmx256m"}, {cfg::useDefaultVmOptionsFile, "1"}, {cfg::allowJavaOptionArguments, "1"}},
         {{"C:\\App\\app.vmoptions", "-Xmx1g\n"}},
         {"-J-Xmx2g", "x"},
         {"-Dp=1", "-Xmx256m", "-Xmx1g", "-Xmx2g", kNoPath}},
        {"no options file without its setting", {}, {{"C:\\App\\app.vmoptions", "-Xmx1g\n"}}, {}, {"-Dp=1", kNoPath}},
        {"-J ignored without its setting", {}, {}, {"-J-Xmx2g"}, {"-Dp=1", kNoPath}},
        {"bare -J adds an empty option", {{cfg::allowJavaOptionArguments, "1"}}, {}, {"-J"}, {"-Dp=1", "", kNoPath}},
        {"-J sets the suffix",
         {{cfg::allowJavaOptionArguments, "1"}}, {}, {"-J-classpath/a x.jar"}, {"-Dp=1", kNoPath + ";x.jar"}},
        {"overrides: the last of a kind, -classpath alone an option",
         {{cfg::useDefaultVmOptionsFile, "1"}},
         {{"C:\\App\\app.vmoptions", "-classpath/a lib\\extra.jar\n-classpath/a lib\\b.jar\n-classpath\n"}},
         {},
         {"-Dp=1", "-classpath", kNoPath + ";lib\\b.jar"}},
        {"trailing lone -include-options is an option",
         {{cfg::vmOptions, "-Xss1m -include-options"}}, {}, {}, {"-Dp=1", "-Xss1m", "-include-options", kNoPath}},
        {"includes: against the including file, else the launcher directory",
         {{cfg::vmOptions, "-include-options cfg\\a.vmoptions -include-options 'other.vmoptions'"}},
         {{"C:\\App\\cfg\\a.vmoptions", "-Da=1\n-include-options other.vmoptions\n"},
          {"C:\\App\\cfg\\other.vmoptions", "-Dcfg=1\n"},
          {"C:\\App\\other.vmoptions", "-Dapp=1\n"}},
         {},
         {"-Dp=1", "-Da=1", "-Dcfg=1", "-Dapp=1", kNoPath}},
        {"module options joined, a lone last name stays",
         {{cfg::vmOptions, "--add-opens java.base/java.lang=ALL-UNNAMED --add-exports"},
          {cfg::allowJavaOptionArguments, "1"}},
         {},
         {"-J--limit-modules"},
         {"-Dp=1", "--add-opens=java.base/java.lang=ALL-UNNAMED", "--add-exports=--limit-modules",
          "-Djava.class.path="}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        in.files = c.files;
        for (const auto& [id, value] : c.settings) configStore.settings[id] = value;
        EXPECT_EQ(assemble(c.args, {"-Dp=1"}), c.expected);
    }
    // A name that is the very last option stays alone.
    VmOptionList tail = {"-Da", "--add-reads", "--patch-module=x", "--add-modules"};
    joinModuleOptions(tail);
    EXPECT_EQ(tail, (Strings{"-Da", "--add-reads=--patch-module=x", "--add-modules"}));
}

TEST_F(VmOptionsTest, DefaultFileCandidates) {
    set({{cfg::useDefaultVmOptionsFile, "1"}});
    in.files["C:\\App\\app.exe.vmoptions"] = "-Dsecond=1";
    EXPECT_EQ(assemble(), (Strings{"-Dsecond=1", kNoPath}));
    EXPECT_EQ(in.opened, (Strings{"C:\\App\\app.vmoptions", "C:\\App\\app.exe.vmoptions"}));
    in.files["C:\\App\\app.vmoptions"] = "-Dfirst=1";
    EXPECT_EQ(assemble(), (Strings{"-Dfirst=1", kNoPath}));
}

TEST_F(VmOptionsTest, LocaleOptions) {
    struct Case {
        Strings args;
        const char* language;
        const char* country;
        Strings expected;
    } cases[] = {
        {{"-Dsun.locale.formatasdefault=false"}, "pt", "BR",
         {"-Dsun.locale.formatasdefault=false", "-Duser.language=pt", "-Duser.country=BR"}},
        {{"-Dsun.locale.formatasdefault=true"}, "pt", "BR", {"-Dsun.locale.formatasdefault=true"}},
        {{}, "pt", "BR", {}},
        {{"-Dsun.locale.formatasdefault=x", "a", "-Dsun.locale.formatasdefault=true"}, "de", "",
         {"-Dsun.locale.formatasdefault=true"}},
        {{"-Dsun.locale.formatasdefault=true", "-Dsun.locale.formatasdefault="}, "no", "",
         {"-Dsun.locale.formatasdefault=", "-Duser.language=no"}},
    };
    for (const Case& c : cases) {
        reset();
        localeLanguage = c.language;
        localeCountry = c.country;
        Strings expected = c.expected;
        expected.push_back(kNoPath);
        EXPECT_EQ(assemble(c.args), expected);
    }
}

TEST_F(VmOptionsTest, IncludeCyclesStop) {
    set({{cfg::useDefaultVmOptionsFile, "1"}});
    in.files = {{"C:\\App\\app.vmoptions", "-Da\n-include-options C:\\APP\\app.vmoptions\n-Db\n"}};
    EXPECT_EQ(assemble(), (Strings{"-Da", "-Db", kNoPath}));
    EXPECT_TRUE(logged("ERROR: options file C:\\APP\\app.vmoptions includes itself, line skipped"));

    in.files = {{"C:\\App\\app.vmoptions", "-include-options r1\n"},
                {"C:\\App\\r1", "-D1\n-include-options r2\n"},
                {"C:\\App\\r2", "-D2\n-include-options r3\n"},
                {"C:\\App\\r3", "-D3\n-include-options r1\n-D3b\n"}};
    EXPECT_EQ(assemble(), (Strings{"-D1", "-D2", "-D3", "-D3b", kNoPath}));

    // A chain of distinct files ends at the depth limit: the default file and 15 more.
    in.files.clear();
    in.files["C:\\App\\app.vmoptions"] = "-include-options f1\n";
    for (int i = 1; i < 20; ++i)
        in.files["C:\\App\\f" + std::to_string(i)] =
            "-Df" + std::to_string(i) + "\n-include-options f" + std::to_string(i + 1) + "\n";
    Strings list = assemble();
    ASSERT_EQ(list.size(), 16u);
    EXPECT_EQ(list[14], "-Df15");
    EXPECT_TRUE(logged("ERROR: options files nested deeper than 16, C:\\App\\f16 skipped"));
}

TEST_F(VmOptionsTest, ClassPathPieces) {
    in.existing = {"C:\\App\\.\\lib", "C:\\App\\lib\\y.jar"};
    in.listings = {{"C:\\App\\.\\lib\\*.jar", {"b.jar", "a.jar"}}, {"C:\\App\\.\\lib\\*.zip", {"a.zip"}}};
    in.env = {{"MYCP", "\"C:\\a b\\x.jar\""}, {"SEMI", "C:\\y.jar;"}, {"OPEN", "\"C:\\o.jar"}, {"EMPTY", ""}, {"TWO", "a.jar;b.jar"}};
    struct Case {
        const char* entry;
        std::string option;
    } cases[] = {
        {"S0.\\lib", "C:\\App\\.\\lib\\b.jar;C:\\App\\.\\lib\\a.jar;C:\\App\\.\\lib\\a.zip"},
        {"A0lib\\x.jar;;A1lib\\y.jar", "C:\\App\\lib\\x.jar;C:\\App\\lib\\y.jar"},
        {"E0MYCP;E0SEMI;E0OPEN", "C:\\a b\\x.jar;C:\\y.jar;\"C:\\o.jar"},
        {"E0NONE;E0EMPTY;S0nodir;X0whatever;D0C:\\d", "C:\\d"},
        {"A0${TWO}", "C:\\App\\a.jar;C:\\App\\b.jar"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        configStore.settings[cfg::classPath] = c.entry;
        EXPECT_EQ(assemble(), (Strings{kNoPath + c.option}));
    }
    struct Failing {
        const char* entry;
        int32_t message;
        const char* argument;
    } failing[] = {
        {"A1lib\\x.jar", cfg::classPathEntryMissing, "lib\\x.jar"},
        {"E1NONE", cfg::variableUndefined, "NONE"},
        {"E1EMPTY", cfg::classPathEntryMissing, "EMPTY"},
        {"S1nodir", cfg::classPathEntryMissing, "nodir"},
        {"A0ok;Q1x", cfg::classPathEntryMissing, "x"},
    };
    for (const Failing& f : failing) {
        SCOPED_TRACE(f.entry);
        configStore.settings[cfg::classPath] = f.entry;
        std::optional<PathFailure> failure = classPathFailure();
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->message, f.message);
        EXPECT_EQ(failure->argument, f.argument);
    }
}

TEST_F(VmOptionsTest, OverridesPerRunArchivesAndRuntimeArchive) {
    flavourCode = 'q';
    launcherTempDir = "C:\\T\\run";
    in.existing = {"C:\\T\\run", "C:\\T\\run\\user"};
    in.listings = {{"C:\\T\\run\\*.jar", {"inc.jar"}}, {"C:\\T\\run\\user\\*.zip", {"u.zip"}}};
    set({{cfg::classPath, "A0R"}, {cfg::useDefaultVmOptionsFile, "1"}});
    in.files["C:\\App\\app.vmoptions"] = "-classpath/p P\n-classpath/a Q\n";
    EXPECT_EQ(assemble(), (Strings{"-Djava.class.path=P;C:\\T\\run\\inc.jar;C:\\T\\run\\user\\u.zip;"
                                   "C:\\App\\rt\\.quarlo\\qarruntime.jar;C:\\App\\R;Q"}));
    // A replacement suppresses entry 121 and its required checks.
    configStore.settings[cfg::classPath] = "A1missing.jar";
    in.files["C:\\App\\app.vmoptions"] = "-classpath X\n";
    EXPECT_EQ(assemble().back(), "-Djava.class.path=C:\\T\\run\\inc.jar;C:\\T\\run\\user\\u.zip;"
                                 "C:\\App\\rt\\.quarlo\\qarruntime.jar;X");
}

TEST_F(VmOptionsTest, ModuleOptions) {
    struct Case {
        char flavour;
        const char* modulePath;
        const char* inModule;
        const char* mainClass;
        Strings expected;
    } cases[] = {
        {'q', "D0mods", "1", "com.acme.app/com.acme.app.Main",
         {"-Djava.class.path=", "--module-path=C:\\App\\mods;C:\\App\\rt\\.quarlo\\qarruntime.jar",
          "--add-opens=com.acme.app/com.acme.app=com.quarlo.runtime", "--add-modules=com.acme.app,com.quarlo.runtime"}},
        {'q', "S0mods", "1", "com.acme.app/Main",
         {"-Djava.class.path=", "--module-path=C:\\App\\mods;C:\\App\\rt\\.quarlo\\qarruntime.jar",
          "--add-modules=com.acme.app,com.quarlo.runtime"}},
        {'v', "D0mods", "0", "x/y.Z", {"-Djava.class.path=", "--module-path=C:\\App\\mods",
                                       "--add-modules=com.vennic.runtime"}},
        {'v', "", "1", "com.acme.app/com.acme.app.Main", {"-Djava.class.path=C:\\App\\cp"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mainClass);
        flavourCode = c.flavour;
        configStore.settings = {{cfg::modulePath, c.modulePath}, {cfg::mainClassInModule, c.inModule},
                                {cfg::mainClass, c.mainClass}, {cfg::classPath, "D0cp"}};
        Strings expected = c.expected;
        if (!std::string(c.modulePath).empty()) expected[0] += "C:\\App\\cp";
        EXPECT_EQ(assemble(), expected);
    }
}

TEST_F(VmOptionsTest, ServiceAndConsoleAdditions) {
    set({{cfg::useDefaultVmOptionsFile, "1"}});
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
