#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "config/block.h"
#include "config/store.h"
#include "test_support.h"

namespace wl {
std::vector<std::u16string>& capturedLogLines();
}

using namespace wl;

namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        configStore = ConfigStore{};
        capturedLogLines().clear();
    }
    void set(int32_t id, std::string value) { configStore.settings[id] = std::move(value); }
};

}  // namespace

TEST_F(StoreTest, StringAtBufferBoundaries) {
    set(500, std::string(9, 'x'));
    EXPECT_EQ(getConfigString(500, 10), std::string(9, 'x'));
    EXPECT_TRUE(capturedLogLines().empty()) << "S-1 bytes fit without a log line";

    set(501, std::string(10, 'y'));
    EXPECT_EQ(getConfigString(501, 10), std::string(9, 'y'));
    ASSERT_EQ(capturedLogLines().size(), 1u);
    EXPECT_EQ(capturedLogLines()[0], u"ERROR: config string 501 truncated (10 10)");
}

TEST_F(StoreTest, AbsentReadsEmpty) {
    EXPECT_EQ(getConfigString(7, 6000), "");
    EXPECT_EQ(getConfigInt(7), 0);
    EXPECT_EQ(dupConfigString(7), "");
    EXPECT_EQ(getConfigWide(7, 6000), u"");
    EXPECT_EQ(getMessage(7), u"");
    EXPECT_EQ(lookupMessage(7, kByteCodec), u"");
}

TEST_F(StoreTest, IntegerConversion) {
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"12abc", 12},       {" -3", -3},           {"", 0},
        {"+7", 7},           {"\t 42", 42},         {"abc", 0},
        {"-", 0},            {"2147483647", INT_MAX}, {"2147483648", INT_MAX},
        {"99999999999999999999", INT_MAX}, {"-2147483648", INT_MIN}, {"-2147483649", INT_MIN},
        {"-99999999999999999999", INT_MIN}, {"0012", 12}, {"1 2", 1},
    };
    for (const Case& c : cases) {
        set(9, c.text);
        EXPECT_EQ(getConfigInt(9), c.value) << '"' << c.text << '"';
    }
}

TEST_F(StoreTest, IntegerOfOverlongValueIsCutAndLogged) {
    set(9, std::string(6000, '1'));
    EXPECT_EQ(getConfigInt(9), INT_MAX);
    EXPECT_EQ(capturedLogLines().size(), 1u);
}

TEST_F(StoreTest, WideValuesAreWidenedByteForByteAndCut) {
    set(101, "Caf\xE9");
    EXPECT_EQ(getConfigWide(101, 6000), u"Caf\u00E9");
    EXPECT_EQ(getConfigWide(101, 3), u"Ca");
    configStore.messages[1009] = u"0123456789";
    EXPECT_EQ(getMessage(1009, 5), u"0123");
}

TEST_F(StoreTest, LookupFallsBackToSettings) {
    set(1000, "from settings");
    EXPECT_EQ(lookupMessage(1000, kByteCodec), u"from settings");
    configStore.messages[1000] = u"from messages";
    EXPECT_EQ(lookupMessage(1000, kByteCodec), u"from messages");
    configStore.messages[1000] = u"";
    EXPECT_EQ(lookupMessage(1000, kByteCodec), u"from settings");
    // A setting is code-page text: in 1252, 0x97 is the em dash, not a C1 control.
    set(1000, "App \x97 error");
    EXPECT_EQ(lookupMessage(1000, testing_support::kCodePage1252), u"App \u2014 error");
}

TEST_F(StoreTest, DupReturnsWholeValue) {
    set(2003, std::string(10000, 'n'));
    EXPECT_EQ(dupConfigString(2003).size(), 10000u);
    EXPECT_TRUE(capturedLogLines().empty());
}
