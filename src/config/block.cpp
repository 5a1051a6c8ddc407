#include "config/block.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/little_endian.h"
#include "diag/log.h"

namespace wl {

bool MemorySource::read(void* buffer, uint32_t count, uint32_t& got) {
    got = 0;
    if (position_ < bytes_.size()) {
        uint64_t available = bytes_.size() - position_;
        got = uint32_t(available < count ? available : count);
        std::memcpy(buffer, bytes_.data() + position_, got);
        position_ += got;
    }
    return true;
}

ReadAheadSource::ReadAheadSource(ByteSource& inner, uint32_t window)
    : inner_(inner), window_(window ? window : 1), start_(inner.position()), position_(start_), size_(inner.size()) {}

// The source stands at the window's end, and this reader's position lies
// within the window or at its end.
bool ReadAheadSource::seek(uint64_t offset) {
    if (offset >= start_ && offset - start_ <= length_) {
        position_ = offset;
        return true;
    }
    if (!inner_.seek(offset)) return false;
    start_ = position_ = offset;
    length_ = 0;
    return true;
}

bool ReadAheadSource::read(void* buffer, uint32_t count, uint32_t& got) {
    got = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (got < count) {
        const uint64_t offset = position_ - start_;
        if (offset < length_) {
            const uint32_t n = uint32_t(length_ - offset < count - got ? length_ - offset : count - got);
            std::memcpy(out + got, window_.data() + offset, n);
            got += n;
            position_ += n;
            continue;
        }
        start_ = position_;
        length_ = 0;
        const uint32_t wanted = count - got;
        uint32_t n = 0;
        if (wanted >= window_.size()) {
            const bool ok = inner_.read(out + got, wanted, n);
            got += n;
            position_ += n;
            start_ = position_;
            return ok;
        }
        const bool ok = inner_.read(window_.data(), uint32_t(window_.size()), n);
        length_ = n;
        if (!ok) return false;
        if (n == 0) break;  // the end of the source
    }
    return true;
}

bool BlockReader::seek(int64_t offset) {
    // A negative offset cannot be read from: the next read then fails like a
    // read at the end of the file, instead of reading from the old position.
    positionInvalid_ = offset < 0 || !source_.seek(uint64_t(offset));
    return !positionInvalid_;
}

bool BlockReader::readExact(void* buffer, uint32_t count, uint32_t& got) {
    got = 0;
    if (failure_ || positionInvalid_) return false;
    bool ok = source_.read(buffer, count, got);
    return ok && got == count;
}

bool BlockReader::readInt(int32_t& value) {
    unsigned char b[4];
    uint32_t got;
    if (!readExact(b, 4, got)) {
        if (!failure_) {
            logMessage(u"error %d %d\n", int(source_.lastError()), int(got));
            fail(u"Internal Error: readInt");
        }
        return false;
    }
    value = int32_t(le32(b));
    return true;
}

bool BlockReader::readShort(int16_t& value) {
    unsigned char b[2];
    uint32_t got;
    if (!readExact(b, 2, got)) {
        if (!failure_) {
            logMessage(u"error %d\n", int(source_.lastError()));
            fail(u"Internal Error: readShort");
        }
        return false;
    }
    value = int16_t(uint16_t(le16(b)));
    return true;
}

bool BlockReader::readLong(int64_t& value) {
    unsigned char b[8];
    uint32_t got;
    if (!readExact(b, 8, got)) {
        if (!failure_) {
            logMessage(u"error %d\n", int(source_.lastError()));
            fail(u"Internal Error: readLong");
        }
        return false;
    }
    value = int64_t(le64(b));
    return true;
}

bool BlockReader::readLength(int32_t& length, const char16_t* failureText) {
    if (!readInt(length)) return false;
    uint64_t position = source_.position();
    uint64_t left = position < source_.size() ? source_.size() - position : 0;
    // Room for the terminator as well; a wide text is widened into a second
    // buffer of the same size.
    if (length < 0 || uint64_t(length) > left || !canAllocate(std::size_t(length) + 2)) {
        fail(failureText);
        return false;
    }
    return true;
}

bool BlockReader::tryAllocation(std::size_t bytes) {
    void* probe = std::malloc(bytes);
    std::free(probe);
    return probe != nullptr;
}

bool BlockReader::readString(std::string& value) {
    int32_t length;
    if (!readLength(length, u"Internal Error: readString")) return false;
    value.assign(std::size_t(length), '\0');
    uint32_t got;
    if (!readExact(value.data(), uint32_t(length), got)) {
        fail(u"Internal Error: readString");
        return false;
    }
    return true;
}

bool BlockReader::readWString(std::u16string& value) {
    int32_t length;
    if (!readLength(length, u"Internal Error: readWString")) return false;
    std::string bytes(std::size_t(length), '\0');
    uint32_t got;
    if (!readExact(bytes.data(), uint32_t(length), got)) {
        fail(u"Internal Error: readWString");
        return false;
    }
    value.assign(std::size_t(length) / 2, u'\0');
    for (std::size_t i = 0; i < value.size(); ++i) value[i] = char16_t(le16At(bytes, 2 * i));
    return true;
}

bool locateConfigBlock(BlockReader& reader, uint64_t& blockStart) {
    int32_t peOffset;
    int16_t sections, optionalSize;
    reader.seek(60);
    if (!reader.readInt(peOffset)) return false;
    reader.seek(int64_t(peOffset) + 6);
    if (!reader.readShort(sections)) return false;
    logMessage(u"number of sections: %d", int(sections));
    reader.seek(int64_t(peOffset) + 20);
    if (!reader.readShort(optionalSize)) return false;
    logMessage(u"size of optional headers: %d", int(optionalSize));
    // The section table starts at H+24+O; the last of its 40-byte entries is
    // at H+24+O+40(N-1).
    int64_t lastSection = int64_t(peOffset) + optionalSize + 40 * int64_t(sections) - 16;
    logMessage(u"resSectionTableStart: %d", int(lastSection));
    int32_t rawSize, rawOffset;
    reader.seek(lastSection + 16);
    if (!reader.readInt(rawSize)) return false;
    reader.seek(lastSection + 20);
    if (!reader.readInt(rawOffset)) return false;
    logMessage(u"rawDataSize: %d, rawDataOffset: %d", int(rawSize), int(rawOffset));
    blockStart = uint64_t(uint32_t(rawSize)) + uint64_t(uint32_t(rawOffset));
    reader.seek(int64_t(blockStart));
    return true;
}

namespace {

bool readMessageRecords(BlockReader& reader, int32_t count, BlockVisitor& visitor, bool inSection) {
    for (int32_t i = 0; i < count; ++i) {
        int32_t id;
        std::u16string text;
        if (!reader.readInt(id) || !reader.readWString(text)) return false;
        if (inSection) {
            visitor.sectionMessage(id, std::move(text));
        } else {
            visitor.message(id, std::move(text));
        }
    }
    return true;
}

// Collects the records as the file holds them.
class BlockCollector : public BlockVisitor {
public:
    explicit BlockCollector(ParsedBlock& block) : block_(block) {}
    void header(int32_t word1, int32_t word2, int64_t length) override {
        block_.headerWord1 = word1;
        block_.headerWord2 = word2;
        block_.headerLength = length;
    }
    void setting(int32_t id, std::string&& value) override { block_.settings.emplace_back(id, std::move(value)); }
    void message(int32_t id, std::u16string&& text) override { block_.messages.emplace_back(id, std::move(text)); }
    void section(std::string&& prefix) override { block_.sections.push_back({std::move(prefix), {}}); }
    void sectionMessage(int32_t id, std::u16string&& text) override {
        block_.sections.back().messages.emplace_back(id, std::move(text));
    }

private:
    ParsedBlock& block_;
};

// Ends a text at its first NUL, as a C string would end there.
template <class S> S&& endAtNul(S& text) {
    text.resize(std::min(text.size(), text.find(typename S::value_type(0))));
    return std::move(text);
}

// Applies the records to a store: a later id replaces an earlier one, texts
// are cut at an embedded NUL as C strings end there, and only the messages of
// sections whose prefix begins the locale code count.
class StoreLoader : public BlockVisitor {
public:
    StoreLoader(ConfigStore& store, const std::function<std::string()>& localeCode)
        : store_(store), localeCode_(localeCode) {}
    void setting(int32_t id, std::string&& value) override { store_.settings[id] = endAtNul(value); }
    void message(int32_t id, std::u16string&& text) override { store_.messages[id] = endAtNul(text); }
    void beforeSections() override { code_ = localeCode_(); }
    void section(std::string&& prefix) override { matching_ = sectionMatches(prefix, code_); }
    void sectionMessage(int32_t id, std::u16string&& text) override {
        if (matching_) message(id, std::move(text));
    }

private:
    ConfigStore& store_;
    const std::function<std::string()>& localeCode_;
    std::string code_;
    bool matching_ = false;
};

}  // namespace

bool readBlockRecords(BlockReader& reader, BlockVisitor& visitor) {
    int32_t magic;
    if (!reader.readInt(magic)) return false;
    if (uint32_t(magic) != kConfigMagic) {
        reader.fail(u"Internal Error: magic");
        return false;
    }
    int32_t word1, word2;
    int64_t length;
    if (!reader.readInt(word1) || !reader.readInt(word2) || !reader.readLong(length)) return false;
    visitor.header(word1, word2, length);

    int32_t count;
    if (!reader.readInt(count)) return false;
    for (int32_t i = 0; i < count; ++i) {
        int32_t id;
        std::string value;
        if (!reader.readInt(id) || !reader.readString(value)) return false;
        visitor.setting(id, std::move(value));
    }
    if (!reader.readInt(count)) return false;
    if (!readMessageRecords(reader, count, visitor, false)) return false;

    visitor.beforeSections();

    if (!reader.readInt(count)) return false;
    for (int32_t k = 0; k < count; ++k) {
        std::string prefix;
        int32_t entries;
        if (!reader.readString(prefix)) return false;
        visitor.section(std::move(prefix));
        if (!reader.readInt(entries) || !readMessageRecords(reader, entries, visitor, true)) return false;
    }
    return true;
}

bool parseConfigBlock(BlockReader& reader, ParsedBlock& block) {
    block.start = reader.source().position();
    BlockCollector collector(block);
    if (!readBlockRecords(reader, collector)) return false;
    block.end = reader.source().position();
    return true;
}

bool loadConfigBlock(BlockReader& reader, ConfigStore& store, const std::function<std::string()>& localeCode) {
    StoreLoader loader(store, localeCode);
    return readBlockRecords(reader, loader);
}

bool sectionMatches(std::string_view prefix, std::string_view localeCode) {
    return localeCode.substr(0, prefix.size()) == prefix;
}

namespace {

void putWide(std::string& out, const std::u16string& text) {
    appendLe32(out, uint32_t(text.size() * 2));
    for (char16_t c : text) appendLe16(out, c);
}

void putMessages(std::string& out, const std::vector<std::pair<int32_t, std::u16string>>& messages) {
    appendLe32(out, uint32_t(messages.size()));
    for (const auto& [id, text] : messages) {
        appendLe32(out, uint32_t(id));
        putWide(out, text);
    }
}

}  // namespace

std::string serializeConfigBlock(const ParsedBlock& block) {
    std::string body;
    appendLe32(body, uint32_t(block.settings.size()));
    for (const auto& [id, value] : block.settings) {
        appendLe32(body, uint32_t(id));
        appendLe32(body, uint32_t(value.size()));
        body += value;
    }
    putMessages(body, block.messages);
    appendLe32(body, uint32_t(block.sections.size()));
    for (const LanguageSection& section : block.sections) {
        appendLe32(body, uint32_t(section.prefix.size()));
        body += section.prefix;
        putMessages(body, section.messages);
    }
    std::string out;
    appendLe32(out, kConfigMagic);
    appendLe32(out, 0);
    appendLe32(out, uint32_t(block.headerWord2));
    appendLe64(out, uint64_t(body.size()) + 8);  // from the length field itself to the end
    out += body;
    return out;
}

std::string blockTrailer(std::size_t blockSize) {
    std::string out("\xE8\xE4\x13\xD5", 4);
    if (blockSize + out.size() < 4096) out.append(4096 - blockSize - out.size(), '\0');
    return out;
}

}  // namespace wl
