#include <gtest/gtest.h>

#include <cstring>

#include "config/block.h"

using namespace wl;

namespace {

void putInt(std::string& s, int32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(char((uint32_t(v) >> (8 * i)) & 0xFF));
}

ParsedBlock sample() {
    ParsedBlock b;
    b.settings = {{101, "Service"}, {107, "0"}, {121, "a;b"}};
    b.messages = {{1000, u"Caption"}, {1009, u"Error {0}"}, {1015, u"Rights"}};
    b.sections = {
        {"de", {{1009, u"Fehler {0}"}, {1015, u"Rechte"}}},
        {"de_AT", {{1009, u"Fehler (AT) {0}"}}},
        {"pt", {{1000, u"Legenda"}}},
        {"pt_BR", {{1000, u"Legenda BR"}}},
    };
    return b;
}

bool parse(const std::string& bytes, ParsedBlock& out, std::u16string& failure) {
    MemorySource source(bytes);
    BlockReader reader(source);
    bool ok = parseConfigBlock(reader, out);
    if (!ok) failure = reader.failure();
    return ok;
}

// The store as the launcher fills it from the block's bytes.
ConfigStore storeFor(const ParsedBlock& block, const char* locale) {
    std::string bytes = serializeConfigBlock(block);
    MemorySource source(bytes);
    BlockReader reader(source);
    ConfigStore store;
    EXPECT_TRUE(loadConfigBlock(reader, store, [&] { return std::string(locale); }));
    return store;
}

}  // namespace

TEST(ConfigBlock, RoundTripKeepsEverythingInOrder) {
    ParsedBlock written = sample();
    std::string bytes = serializeConfigBlock(written);
    ParsedBlock read;
    std::u16string failure;
    ASSERT_TRUE(parse(bytes + blockTrailer(bytes.size()), read, failure)) << std::string(failure.begin(), failure.end());
    EXPECT_EQ(read.settings, written.settings);
    EXPECT_EQ(read.messages, written.messages);
    ASSERT_EQ(read.sections.size(), 4u);
    EXPECT_EQ(read.sections[1].prefix, "de_AT");
    EXPECT_EQ(read.end, bytes.size());
    // The header length counts from its own field to the end of the sections.
    EXPECT_EQ(read.headerLength, int64_t(bytes.size()) - 12);
}

TEST(ConfigBlock, TrailerFillsToFourKilobytes) {
    std::string t = blockTrailer(100);
    EXPECT_EQ(t.size(), 3996u);
    EXPECT_EQ(t.substr(0, 4), std::string("\xE8\xE4\x13\xD5", 4));
    EXPECT_EQ(blockTrailer(5000).size(), 4u);
}

TEST(ConfigBlock, LanguageSectionsApplyInFileOrder) {
    ParsedBlock b = sample();
    ConfigStore de = storeFor(b, "de");
    EXPECT_EQ(de.messages[1009], u"Fehler {0}");
    EXPECT_EQ(de.messages[1015], u"Rechte");

    ConfigStore at = storeFor(b, "de_AT");
    EXPECT_EQ(at.messages[1009], u"Fehler (AT) {0}");
    EXPECT_EQ(at.messages[1015], u"Rechte") << "ids only the earlier section holds keep its text";

    ConfigStore ptBr = storeFor(b, "pt_BR");
    EXPECT_EQ(ptBr.messages[1000], u"Legenda BR");
    ConfigStore ptPt = storeFor(b, "pt_PT");
    EXPECT_EQ(ptPt.messages[1000], u"Legenda");

    ConfigStore en = storeFor(b, "en_US");
    EXPECT_EQ(en.messages[1009], u"Error {0}");
}

TEST(ConfigBlock, LaterSectionWinsEvenWhenLessSpecific) {
    ParsedBlock b;
    b.messages = {{1, u"base"}};
    b.sections = {{"pt_BR", {{1, u"brazil"}}}, {"pt", {{1, u"portuguese"}}}};
    EXPECT_EQ(storeFor(b, "pt_BR").messages[1], u"portuguese");
}

TEST(ConfigBlock, PrefixMatching) {
    EXPECT_TRUE(sectionMatches("de", "de"));
    EXPECT_TRUE(sectionMatches("de", "de_AT"));
    EXPECT_FALSE(sectionMatches("de_AT", "de"));
    EXPECT_TRUE(sectionMatches("", "fr_FR"));
    EXPECT_TRUE(sectionMatches("no", "no_NO_NY"));
    EXPECT_FALSE(sectionMatches("d", "en"));
}

TEST(ConfigBlock, LaterDuplicateReplacesEarlierAndNulEndsText) {
    ParsedBlock b;
    b.settings = {{5, "one"}, {5, "two"}, {6, std::string("ab\0cd", 5)}};
    ConfigStore s = storeFor(b, "en");
    EXPECT_EQ(s.settings[5], "two");
    EXPECT_EQ(s.settings[6], "ab");
}

TEST(ConfigBlock, EmptyBlockIsValid) {
    ParsedBlock empty;
    ParsedBlock read;
    std::u16string failure;
    ASSERT_TRUE(parse(serializeConfigBlock(empty), read, failure));
    EXPECT_TRUE(read.settings.empty() && read.messages.empty() && read.sections.empty());
}

TEST(ConfigBlock, NegativeCountsMeanNone) {
    std::string bytes = serializeConfigBlock(ParsedBlock{});
    // Replace the three zero counts with -5.
    for (std::size_t at : {20u, 24u, 28u}) std::memcpy(&bytes[at], "\xFB\xFF\xFF\xFF", 4);
    ParsedBlock read;
    std::u16string failure;
    EXPECT_TRUE(parse(bytes, read, failure));
}

TEST(ConfigBlock, DamagedBlocksFailWithTheirFixedTexts) {
    std::string good = serializeConfigBlock(sample());
    const std::size_t firstLength = 20 + 4 + 4;  // header, count, first id
    struct Case {
        const char* what;
        std::string bytes;
        const char16_t* failure;
    };
    std::string badMagic = good;
    badMagic[0] = 'X';
    auto withLength = [&](int32_t length) {
        std::string s = good;
        std::string v;
        putInt(v, length);
        s.replace(firstLength, 4, v);
        return s;
    };
    // The first message's length: behind the settings.
    std::size_t messageLength = 24 + 3 * 8 + 7 + 1 + 3 + 4 + 4;
    std::string negativeWide = good;
    std::string minusTwo;
    putInt(minusTwo, -2);
    negativeWide.replace(messageLength, 4, minusTwo);

    const Case cases[] = {
        {"empty", "", u"Internal Error: readInt"},
        {"short magic", good.substr(0, 3), u"Internal Error: readInt"},
        {"bad magic", badMagic, u"Internal Error: magic"},
        {"short header length", good.substr(0, 15), u"Internal Error: readLong"},
        {"negative length", withLength(-1), u"Internal Error: readString"},
        {"most negative length", withLength(INT32_MIN), u"Internal Error: readString"},
        {"huge length", withLength(0x7FFFFFFF), u"Internal Error: readString"},
        {"length past the end", withLength(int32_t(good.size())), u"Internal Error: readString"},
        {"cut inside a setting", good.substr(0, firstLength + 4 + 3), u"Internal Error: readString"},
        {"cut before a count", good.substr(0, 20), u"Internal Error: readInt"},
        {"negative message length", negativeWide, u"Internal Error: readWString"},
        {"cut inside a message", good.substr(0, messageLength + 4 + 5), u"Internal Error: readWString"},
    };
    for (const Case& c : cases) {
        ParsedBlock read;
        std::u16string failure;
        EXPECT_FALSE(parse(c.bytes, read, failure)) << c.what;
        EXPECT_EQ(failure, c.failure) << c.what;
    }
}

TEST(ConfigBlock, OddWideLengthDropsLastByte) {
    std::string bytes;
    putInt(bytes, int32_t(kConfigMagic));
    putInt(bytes, 0);
    putInt(bytes, 0);
    bytes.append(8, '\0');
    putInt(bytes, 0);  // settings
    putInt(bytes, 1);  // one message
    putInt(bytes, 1009);
    putInt(bytes, 5);
    bytes += std::string("A\0B\0C", 5);
    putInt(bytes, 0);  // sections
    ParsedBlock read;
    std::u16string failure;
    ASSERT_TRUE(parse(bytes, read, failure));
    ASSERT_EQ(read.messages.size(), 1u);
    EXPECT_EQ(read.messages[0].second, u"AB");
    EXPECT_EQ(read.end, bytes.size());
}

TEST(ConfigBlock, LocateWalksThePeHeaders) {
    // A minimal image: PE header at 0x80, 2 sections, optional header of 0xF0.
    std::string image(0x400, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    auto put32 = [&](std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) image[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    auto put16 = [&](std::size_t at, uint16_t v) {
        image[at] = char(v & 0xFF);
        image[at + 1] = char(v >> 8);
    };
    put32(60, 0x80);
    std::memcpy(&image[0x80], "PE\0\0", 4);
    put16(0x80 + 6, 2);
    put16(0x80 + 20, 0xF0);
    std::size_t table = 0x80 + 24 + 0xF0;
    put32(table + 40 + 16, 0x200);  // second (last) section: SizeOfRawData
    put32(table + 40 + 20, 0x200);  // PointerToRawData
    MemorySource source(image);
    BlockReader reader(source);
    uint64_t start = 0;
    ASSERT_TRUE(locateConfigBlock(reader, start));
    EXPECT_EQ(start, 0x400u);
    EXPECT_EQ(source.position(), 0x400u);
}

TEST(ConfigBlock, LocateWithNegativePeOffsetFailsCleanly) {
    std::string image(64, '\0');
    image[60] = char(0xF0);
    image[61] = image[62] = image[63] = char(0xFF);
    MemorySource source(image);
    BlockReader reader(source);
    uint64_t start;
    EXPECT_FALSE(locateConfigBlock(reader, start));
    EXPECT_EQ(std::u16string(reader.failure()), u"Internal Error: readShort");
}

TEST(ConfigBlock, DamagedBlockLeavesWhatWasReadInTheStore) {
    ParsedBlock b = sample();
    std::string good = serializeConfigBlock(b);
    ParsedBlock head = b;
    head.sections.clear();
    const std::size_t sectionCount = serializeConfigBlock(head).size() - 4;
    // The first section "de": prefix length and text, entry count, record 1009.
    const std::size_t firstRecordEnd = sectionCount + 4 + 4 + 2 + 4 + 8 + 20;
    struct Case {
        const char* what;
        std::size_t cut;
        bool messagesRead;  // the caption 1000 is in the store, the locale was asked for
        const char16_t* text1009;
    } cases[] = {
        {"inside the first setting", 30, false, nullptr},
        {"before the section count", sectionCount, true, u"Error {0}"},
        {"inside the first prefix", sectionCount + 9, true, u"Error {0}"},
        {"inside the section's second record", firstRecordEnd + 6, true, u"Fehler {0}"},
    };
    for (const Case& c : cases) {
        MemorySource source(std::string_view(good).substr(0, c.cut));
        BlockReader reader(source);
        ConfigStore store;
        int localeAsked = 0;
        EXPECT_FALSE(loadConfigBlock(reader, store, [&] {
            ++localeAsked;
            return std::string("de_DE");
        })) << c.what;
        EXPECT_EQ(store.messages.count(1000), c.messagesRead ? 1u : 0u) << c.what;
        EXPECT_EQ(localeAsked, c.messagesRead ? 1 : 0) << c.what;
        if (c.text1009) {
            EXPECT_EQ(store.messages[1009], c.text1009) << c.what;
        }
    }
}

TEST(ConfigBlock, LengthThatCannotBeAllocatedFailsLikeAShortRead) {
    // The probe is asked for length + 2: 9, 3 and 5 bytes for the settings,
    // 16 for the first message.
    static std::size_t limit;
    const std::pair<std::size_t, const char16_t*> cases[] = {{9, u"Internal Error: readString"},
                                                              {16, u"Internal Error: readWString"}};
    std::string good = serializeConfigBlock(sample());
    for (auto [refusedFrom, expected] : cases) {
        limit = refusedFrom;
        MemorySource source(good);
        BlockReader reader(source);
        reader.canAllocate = [](std::size_t bytes) { return bytes < limit; };
        ConfigStore store;
        EXPECT_FALSE(loadConfigBlock(reader, store, [] { return std::string("en"); }));
        EXPECT_EQ(std::u16string(reader.failure()), expected);
    }
}

namespace {

// A source over memory that counts what reaches it and can be made to fail,
// as the executable's file can.
struct CountingSource : MemorySource {
    using MemorySource::MemorySource;
    bool seek(uint64_t offset) override {
        ++seeks;
        if (failSeeks) return false;
        return MemorySource::seek(offset);
    }
    bool read(void* buffer, uint32_t count, uint32_t& got) override {
        ++reads;
        if (position() >= failReadsFrom) {
            got = 0;
            return false;
        }
        return MemorySource::read(buffer, count, got);
    }
    uint32_t lastError() const override { return 23; }
    int seeks = 0;
    int reads = 0;
    bool failSeeks = false;
    uint64_t failReadsFrom = UINT64_MAX;
};

std::string counting(std::size_t n) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i) bytes[i] = char(i * 7 + i / 251);
    return bytes;
}

}  // namespace

TEST(ReadAheadSource, ParsesABlockAsTheSourceItselfWouldInAFewReads) {
    ParsedBlock written = sample();
    std::string prefix(0x4000 + 123, 'x');  // the sections of an image before the block
    std::string bytes = serializeConfigBlock(written);
    std::string file = prefix + bytes + blockTrailer(bytes.size());
    CountingSource plain(file), inner(file);
    plain.seek(prefix.size());
    inner.seek(prefix.size());
    ParsedBlock direct, buffered;
    BlockReader plainReader(plain);
    ASSERT_TRUE(parseConfigBlock(plainReader, direct));
    ReadAheadSource ahead(inner, 64);
    BlockReader reader(ahead);
    ASSERT_TRUE(parseConfigBlock(reader, buffered));
    EXPECT_EQ(buffered.settings, direct.settings);
    EXPECT_EQ(buffered.messages, direct.messages);
    ASSERT_EQ(buffered.sections.size(), direct.sections.size());
    for (std::size_t i = 0; i < direct.sections.size(); ++i) {
        EXPECT_EQ(buffered.sections[i].prefix, direct.sections[i].prefix);
        EXPECT_EQ(buffered.sections[i].messages, direct.sections[i].messages);
    }
    EXPECT_EQ(buffered.end, direct.end);
    EXPECT_EQ(ahead.position(), plain.position());
    // One read per window of 64 bytes the block spans, where the plain source
    // took one per field.
    EXPECT_LE(inner.reads, int(bytes.size() / 64) + 2);
    EXPECT_GT(plain.reads, 3 * inner.reads);
}

TEST(ReadAheadSource, SeeksAndReadsGiveTheSourcesBytes) {
    const std::string file = counting(1000);
    CountingSource inner(file);
    ReadAheadSource ahead(inner, 100);
    auto at = [&](uint64_t offset, uint32_t count) {
        EXPECT_TRUE(ahead.seek(offset));
        std::string out(count, '?');
        uint32_t got = 0;
        EXPECT_TRUE(ahead.read(out.data(), count, got));
        out.resize(got);
        EXPECT_EQ(ahead.position(), offset + got);
        return out;
    };
    EXPECT_EQ(at(10, 4), file.substr(10, 4));
    const int readsAfterFirst = inner.reads, seeksAfterFirst = inner.seeks;
    // Within the window: nothing reaches the source.
    EXPECT_EQ(at(60, 8), file.substr(60, 8));
    EXPECT_EQ(at(12, 4), file.substr(12, 4));
    EXPECT_EQ(inner.reads, readsAfterFirst);
    EXPECT_EQ(inner.seeks, seeksAfterFirst);
    // Across the window's end, far away and back, and straight through.
    EXPECT_EQ(at(95, 10), file.substr(95, 10));
    EXPECT_EQ(at(700, 4), file.substr(700, 4));
    EXPECT_EQ(at(3, 4), file.substr(3, 4));
    EXPECT_EQ(at(200, 500), file.substr(200, 500));
    EXPECT_EQ(at(700, 2), file.substr(700, 2));
    // At the end: what there is, then nothing, and no failure.
    EXPECT_EQ(at(990, 40), file.substr(990));
    EXPECT_EQ(at(1000, 4), "");
    EXPECT_EQ(at(5000, 4), "");
    EXPECT_EQ(ahead.size(), 1000u);
}

TEST(ReadAheadSource, FailuresOfTheSourceReachTheReader) {
    const std::string file = counting(1000);
    CountingSource inner(file);
    ReadAheadSource ahead(inner, 100);
    inner.failReadsFrom = 350;
    uint32_t got = 0;
    char out[8];
    ASSERT_TRUE(ahead.seek(250));
    // The window holds 250 to 350; the read behind it fails, with the bytes
    // before it delivered.
    EXPECT_TRUE(ahead.read(out, 8, got));
    ASSERT_TRUE(ahead.seek(346));
    EXPECT_FALSE(ahead.read(out, 8, got));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(out, 4), file.substr(346, 4));
    EXPECT_EQ(ahead.lastError(), 23u);
    // A seek outside the window fails as the source's seek does, and the
    // block reader then fails its next field.
    inner.failSeeks = true;
    EXPECT_FALSE(ahead.seek(900));
    BlockReader reader(ahead);
    EXPECT_FALSE(reader.seek(900));
    int32_t value;
    EXPECT_FALSE(reader.readInt(value));
    EXPECT_EQ(std::u16string(reader.failure()), u"Internal Error: readInt");
}
