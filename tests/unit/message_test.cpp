#include "diag/message.h"

#include <gtest/gtest.h>

using namespace wl;

TEST(Message, DisplayTextWithAndWithoutLog) {
    EXPECT_EQ(composeDisplayText(u"Text", u""), u"Text");
    EXPECT_EQ(composeDisplayText(u"Text", u"C:\\Temp\\qar_nlog_1.log"), u"Text\n\nLog: C:\\Temp\\qar_nlog_1.log");
    EXPECT_EQ(composeDisplayText(u"", u"L"), u"\n\nLog: L");
}

TEST(Message, OverlongTextsAreCutToTheBuffer) {
    std::u16string longText(7000, u'x');
    EXPECT_EQ(composeDisplayText(longText, u"").size(), 5999u);
    EXPECT_EQ(composeDisplayText(longText, u"log").size(), 5999u);
}
