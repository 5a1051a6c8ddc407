#include <gtest/gtest.h>

#include <cstdint>

#include "base/format.h"

using namespace wl;

TEST(Format, WindowsWideConventions) {
    EXPECT_EQ(formatWide(u"%s|%S", u"wide", "narrow"), u"wide|narrow");
    EXPECT_EQ(formatWide(u"%hs|%ls", "n", u"w"), u"n|w");
    EXPECT_EQ(formatWide(u"%S", "\xE9"), u"\u00E9") << "narrow text is widened byte for byte";
    EXPECT_EQ(formatWide(u"%d %d %u", -5, 2147483647, 4294967295u), u"-5 2147483647 4294967295");
    EXPECT_EQ(formatWide(u"%I64d", int64_t(-9223372036854775807LL - 1)), u"-9223372036854775808");
    EXPECT_EQ(formatWide(u"%I64d", int64_t(6001)), u"6001");
    EXPECT_EQ(formatWide(u"%x %X %o", 255u, 255u, 8u), u"ff FF 10");
    EXPECT_EQ(formatWide(u"%c%C", int(u'\u00E9'), int('A')), u"\u00E9A");
    EXPECT_EQ(formatWide(u"100%%"), u"100%");
    EXPECT_EQ(formatWide(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
}

TEST(Format, WidthPrecisionAndFlags) {
    EXPECT_EQ(formatWide(u"[%5d]", 42), u"[   42]");
    EXPECT_EQ(formatWide(u"[%-5d]", 42), u"[42   ]");
    EXPECT_EQ(formatWide(u"[%05d]", -42), u"[-0042]");
    EXPECT_EQ(formatWide(u"[%02d:%02d]", 6, 53), u"[06:53]");
    EXPECT_EQ(formatWide(u"[%.3s]", u"abcdef"), u"[abc]");
    EXPECT_EQ(formatWide(u"[%*d]", 4, 7), u"[   7]");
    EXPECT_EQ(formatWide(u"%#x", 255u), u"0xff");
    EXPECT_EQ(formatWide(u"%+d", 3), u"+3");
}

TEST(Format, PointerAndFloat) {
    std::u16string p = formatWide(u"%p", reinterpret_cast<void*>(uintptr_t(0xABC)));
    EXPECT_EQ(p.size(), 2 * sizeof(void*));
    EXPECT_EQ(p.substr(p.size() - 3), u"ABC");
    EXPECT_EQ(formatWide(u"%f", 1.5), u"1.500000");
    EXPECT_EQ(formatWide(u"%.2f", 2.0 / 3), u"0.67");
}

TEST(Format, UnknownConversionAndTrailingPercentStayAsWritten) {
    EXPECT_EQ(formatWide(u"%q and %"), u"%q and %");
}

