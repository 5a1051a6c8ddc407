#include <gtest/gtest.h>

#include "launcher/cmdline.h"

using namespace wl;

TEST(ClassifyArguments, Roles) {
    struct Case {
        std::vector<std::u16string> args;
        Role role;
        std::u16string command;
        std::vector<std::u16string> rest;
    };
    const Case cases[] = {
        {{}, Role::Dispatcher, u"", {}},
        {{u"a", u"b", u"__qar_restart"}, Role::Worker, u"", {u"a", u"b"}},
        {{u"__qar_restart"}, Role::Worker, u"", {}},
        {{u"__qar_restart", u"a"}, Role::Dispatcher, u"", {u"__qar_restart", u"a"}},
        {{u"/install"}, Role::Command, u"install", {}},
        {{u"-install"}, Role::Command, u"install", {}},
        {{u"--install"}, Role::Command, u"install", {}},
        {{u"/INSTALL"}, Role::Command, u"INSTALL", {}},
        {{u"/"}, Role::Command, u"", {}},
        {{u"--"}, Role::Command, u"", {}},
        {{u"---x"}, Role::Command, u"-x", {}},
        {{u"/stop", u"OtherName"}, Role::Command, u"stop", {u"OtherName"}},
        {{u"/run", u"x", u"y"}, Role::Command, u"run", {u"x", u"y"}},
        {{u"plain", u"/run"}, Role::Dispatcher, u"", {u"plain", u"/run"}},
        // The marker wins over a command when it is last.
        {{u"/run", u"__qar_restart"}, Role::Worker, u"", {u"/run"}},
    };
    for (const Case& c : cases) {
        Dispatch d = classifyArguments(c.args);
        EXPECT_EQ(d.role, c.role);
        EXPECT_EQ(d.command, c.command);
        EXPECT_EQ(d.arguments, c.rest);
    }
}
