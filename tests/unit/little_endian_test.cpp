#include "base/little_endian.h"

#include <gtest/gtest.h>

using namespace wl;

TEST(LittleEndian, ReadsTheLowByteFirst) {
    const std::string bytes("\x01\x02\x03\x04\x05\x06\x07\x88\xFF", 9);
    EXPECT_EQ(le16At(bytes, 0), 0x0201u);
    EXPECT_EQ(le32At(bytes, 0), 0x04030201u);
    EXPECT_EQ(le32At(bytes, 5), 0xFF880706u) << "bytes above 0x7F are not sign-extended";
    EXPECT_EQ(le64At(bytes, 0), 0x8807060504030201ull);
    EXPECT_EQ(le16At(bytes, 7), 0xFF88u);
}

TEST(LittleEndian, WritesWhatItReads) {
    std::string out;
    appendLe16(out, 0x12345678u);  // only the low 16 bits
    appendLe32(out, 0xDEADBEEFu);
    appendLe64(out, 0x0123456789ABCDEFull);
    EXPECT_EQ(out, std::string("\x78\x56\xEF\xBE\xAD\xDE\xEF\xCD\xAB\x89\x67\x45\x23\x01", 14));
    EXPECT_EQ(le64At(out, 6), 0x0123456789ABCDEFull);

    storeLe32(out, 1, 0xA1B2C3D4u);
    storeLe16(out, 0, 0xFFFF0102u);
    EXPECT_EQ(le16At(out, 0), 0x0102u);
    EXPECT_EQ(le32At(out, 1), 0xA1B2C301u) << "the 16-bit store overwrote the first byte of the 32-bit one";
    EXPECT_EQ(out.size(), 14u) << "stores never grow the bytes";
}
