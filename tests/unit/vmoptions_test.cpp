// The final assembly of the JVM option list: module options, service and
// console additions, and the init arguments.
#include "options/vmoptions.h"

#include <gtest/gtest.h>

#include "option_inputs.h"

using namespace wl;
using namespace testing_support;
using namespace option_inputs;

namespace {

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

namespace {

// The trace /diagnose reports from: every option's source, in the final order
// (after the module options were joined), the options files, the conditions
// and the path pieces, while the list itself stays what it is without one.
TEST_F(VmOptionsTest, TraceFollowsTheList) {
    reset({{cfg::vmOptions, "-Xmx256m --add-opens java.base/java.lang=ALL-UNNAMED"},
           {cfg::versionSpecificOptionCount, "2"},
           {cfg::versionSpecificCondition, "8-11"},
           {cfg::versionSpecificOptions, "-Dold=1"},
           {cfg::versionSpecificCondition + 2, "*17.*"},
           {cfg::versionSpecificOptions + 2, "-Dnew=1"},
           {cfg::useDefaultVmOptionsFile, "1"},
           {cfg::allowJavaOptionArguments, "1"},
           {cfg::classPath, "A0lib\\a.jar;A0lib\\gone.jar;E0NOVAR;S0nodir;A1lib\\b.jar"},
           {cfg::modulePath, ""}});
    localeLanguage = "pt";
    in.files = {{"C:\\App\\app.vmoptions", "-Xmx1g\n-include-options more.vmoptions\n-include-options absent\n"},
                {"C:\\App\\more.vmoptions", "-Dmore=1\n-classpath/a extra.jar\n"},
                {"C:\\App\\lib\\a.jar", ""},
                {"C:\\App\\lib\\b.jar", ""}};
    runInConsole = true;
    const std::vector<std::u16string> arguments = {u"C:\\App\\app.exe", u"-J-Xss1m",
                                                   u"-Dsun.locale.formatasdefault=false"};
    VmOptionList traced, plain;
    OptionTrace trace;
    ASSERT_FALSE(assembleOptionList(in, {"-Dvennic.x=1"}, arguments, traced, &trace));
    ASSERT_FALSE(assembleOptionList(in, {"-Dvennic.x=1"}, arguments, plain));
    EXPECT_EQ(traced, plain);

    using S = OptionSource;
    const std::u16string file = u"C:\\App\\app.vmoptions", more = u"C:\\App\\more.vmoptions";
    const std::vector<std::pair<std::string, OptionSource>> expected = {
        {"-Dvennic.x=1", S::Launcher},
        {"-Xmx256m", S::Configured},
        {"--add-opens=java.base/java.lang=ALL-UNNAMED", S::Configured},
        {"-Dnew=1", S::VersionSpecific},
        {"-Dsun.locale.formatasdefault=false", S::Locale},
        {"-Duser.language=pt", S::Locale},
        {"-Xmx1g", S::OptionsFile},
        {"-Dmore=1", S::OptionsFile},
        {"-Xss1m", S::JavaArgument},
        {"-Djava.class.path=C:\\App\\lib\\a.jar;C:\\App\\lib\\gone.jar;C:\\App\\lib\\b.jar;extra.jar", S::ClassPath},
        {"-Dquarlo.noRedir=true", S::Launcher},
    };
    ASSERT_EQ(traced.size(), expected.size());
    ASSERT_EQ(trace.origins.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(traced[i], expected[i].first);
        EXPECT_EQ(trace.origins[i].source, expected[i].second) << traced[i];
    }
    EXPECT_EQ(trace.origins[6].file, 0);
    EXPECT_EQ(trace.origins[7].file, 1);
    EXPECT_EQ(trace.origins[8].file, -1);
    EXPECT_STREQ(optionSourceName(S::JavaArgument), "-J argument");

    const std::vector<std::pair<std::u16string, bool>> files = {
        {file, true}, {more, true}, {u"C:\\App\\absent", false}};
    EXPECT_EQ(trace.files, files);
    const std::vector<std::pair<std::string, bool>> conditions = {{"8-11", false}, {"*17.*", true}};
    EXPECT_EQ(trace.conditions, conditions);

    using P = PathState;
    struct Piece {
        const char* piece;
        const char* added;
        PathState state;
    } pieces[] = {
        {"A0lib\\a.jar", "C:\\App\\lib\\a.jar;", P::Found},
        {"A0lib\\gone.jar", "C:\\App\\lib\\gone.jar;", P::Missing},
        {"E0NOVAR", "", P::Skipped},
        {"S0nodir", "", P::Skipped},
        {"A1lib\\b.jar", "C:\\App\\lib\\b.jar;", P::Found},
        {"-classpath/a", "extra.jar", P::Found},
    };
    ASSERT_EQ(trace.paths.size(), std::size(pieces));
    for (std::size_t i = 0; i < trace.paths.size(); ++i) {
        EXPECT_EQ(trace.paths[i].list, cfg::classPath);
        EXPECT_EQ(trace.paths[i].piece, pieces[i].piece);
        EXPECT_EQ(trace.paths[i].added, pieces[i].added);
        EXPECT_EQ(trace.paths[i].state, pieces[i].state) << pieces[i].piece;
    }
}

TEST_F(VmOptionsTest, TraceOfAFailingPiece) {
    reset({{cfg::classPath, "A0lib\\a.jar;A1lib\\x.jar;A0never.jar"}, {cfg::modulePath, "D1mods"}});
    in.existing = {"C:\\App\\mods"};
    VmOptionList list;
    OptionTrace trace;
    std::optional<PathFailure> failure = assembleOptionList(in, {}, {}, list, &trace);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, cfg::classPathEntryMissing);
    EXPECT_EQ(failure->argument, "lib\\x.jar");
    ASSERT_EQ(trace.paths.size(), 3u);
    EXPECT_EQ(trace.paths[0].list, cfg::modulePath);
    EXPECT_EQ(trace.paths[0].state, PathState::Found);
    EXPECT_EQ(trace.paths[1].state, PathState::Missing);
    EXPECT_EQ(trace.paths[2].piece, "A1lib\\x.jar");
    EXPECT_EQ(trace.paths[2].state, PathState::Failed);
    EXPECT_STREQ(pathStateName(PathState::Failed), "missing, required");
}

}  // namespace
