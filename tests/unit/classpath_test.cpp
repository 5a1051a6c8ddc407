// The class path and its overrides.
#include "options/classpath.h"

#include <gtest/gtest.h>

#include "option_inputs.h"

using namespace wl;
using namespace testing_support;
using namespace option_inputs;

namespace {

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

// Code page 932: 予 (97 5C), 表 (95 5C) and ソ (83 5C) end in the byte of the
// backslash, which a byte-wise collapse of doubled backslashes would eat.
TEST_F(VmOptionsTest, ClassPathInADoubleByteCodePage) {
    in.narrowCodec = &kCodePage932;
    const std::string dir = cp932("C:\\App\\予定表");
    in.existing = {dir};
    in.listings = {{dir + "\\*.jar", {cp932("ソ.jar")}}};
    configStore.settings[cfg::classPath] = cp932("A0予定表\\lib\\a.jar;S0予定表;A0C:\\\\表\\\\b.jar");
    EXPECT_EQ(assemble(), (Strings{kNoPath + cp932("C:\\App\\予定表\\lib\\a.jar;C:\\App\\予定表\\ソ.jar;C:\\表\\b.jar")}));
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

}  // namespace
