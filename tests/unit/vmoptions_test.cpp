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
