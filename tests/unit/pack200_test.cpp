// The names of a packed JRE's files and the tool's command line.
#include <gtest/gtest.h>

#include "unpack/pack200.h"

namespace wl {
namespace {

TEST(PackedJre, PackFileNames) {
    struct Case {
        const char* name;
        bool matches;
    } cases[] = {
        {"rt.jar.pack", true}, {"RT.JAR.PACK", true}, {"x.jar.pack.bak", false},
        {".jar.pack", false},  {"rt.pack", false},    {"rt.jar", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isPackFileName(c.name), c.matches);
    }
}

TEST(PackedJre, TargetAndCommandLine) {
    EXPECT_EQ(packTarget("c:\\jre\\lib\\rt.jar.pack"), "c:\\jre\\lib\\rt.jar");
    EXPECT_EQ(packTarget(".pac"), "");
    EXPECT_EQ(unpackCommandLine("c:\\my jre\\lib\\rt.jar.pack", "c:\\my jre\\lib\\rt.jar"),
              "-r \"c:\\my jre\\lib\\rt.jar.pack\" \"c:\\my jre\\lib\\rt.jar\"");
}

}  // namespace
}  // namespace wl
