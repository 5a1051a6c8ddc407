#include "base/text.h"

#include <gtest/gtest.h>

using namespace wl;

TEST(Text, Utf8RoundTrip) {
    std::u16string text = u"a\u00E9\u20AC\U0001F600";
    EXPECT_EQ(fromUtf8(toUtf8(text)), text);
    EXPECT_EQ(fromUtf8("\xC3"), u"\uFFFD");
    EXPECT_EQ(fromUtf8("\xE2\x82x").back(), u'x') << "a cut sequence does not swallow what follows";
    EXPECT_EQ(fromUtf8("\xC0\x80"), u"\uFFFD\uFFFD") << "overlong forms are refused";
    EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Text, SplitListKeepsOrderAndSkipsEmptyItems) {
    EXPECT_EQ(splitList("c:\\a;;d:\\b;"), (std::vector<std::string>{"c:\\a", "d:\\b"}));
    EXPECT_EQ(splitList(";"), std::vector<std::string>{});
    EXPECT_EQ(splitList("x"), std::vector<std::string>{"x"});
}

TEST(Text, SplitListOfBothWidths) {
    EXPECT_EQ(splitList(std::string("lib;;C:\\ext;")), (std::vector<std::string>{"lib", "C:\\ext"}));
    EXPECT_EQ(splitList(std::string(";;")), std::vector<std::string>{});
    EXPECT_EQ(splitList(std::u16string(u"a;b")), (std::vector<std::u16string>{u"a", u"b"}));
}

TEST(Text, BytesWidenUnsignedAndWhole) {
    EXPECT_EQ(widenBytes(std::string_view("A\x80\xFF\0z", 5)), (std::u16string{u'A', 0x80, 0xFF, 0, u'z'}));
    EXPECT_EQ(widenBytes(""), u"");
    std::string bytes(70000, '\xE9');
    EXPECT_EQ(widenBytes(bytes), std::u16string(70000, u'\u00E9'));
    EXPECT_EQ(fromUtf8(std::string_view("a\0\x7F", 3)), (std::u16string{u'a', 0, 0x7F})) << "ASCII in one piece";
    EXPECT_EQ(fromUtf8("ab\xC3\xA9"), u"ab\u00E9");
}
