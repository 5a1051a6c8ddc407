#include "config/messages.h"

#include <gtest/gtest.h>

using namespace wl;

TEST(Messages, PlaceholderSubstitution) {
    std::u16string sixteen = u"16";
    EXPECT_EQ(substitutePlaceholder(u"An internal error occurred (error code: {0})", &sixteen),
              u"An internal error occurred (error code: 16)");
    EXPECT_EQ(substitutePlaceholder(u"{0} and {0}", &sixteen), u"16 and {0}");
    EXPECT_EQ(substitutePlaceholder(u"no placeholder", &sixteen), u"no placeholder");
    EXPECT_EQ(substitutePlaceholder(u"kept {0}", nullptr), u"kept {0}");
    EXPECT_EQ(substitutePlaceholder(u"{0}", &sixteen), u"16");
    std::u16string empty;
    EXPECT_EQ(substitutePlaceholder(u"[{0}]", &empty), u"[]");
    std::u16string braces = u"{0}";
    EXPECT_EQ(substitutePlaceholder(u"a{0}b{0}", &braces), u"a{0}b{0}") << "the argument is not expanded again";
}

TEST(Messages, OverlongArgumentIsCutToTheBuffer) {
    std::u16string longArgument(7000, u'a');
    EXPECT_EQ(substitutePlaceholder(u"{0}", &longArgument).size(), 5999u);
}
