// The configuration block appended behind the executable's last PE section:
// reading it from a byte source, and writing it (for the packer and tests).
//
// Layout, little-endian throughout:
//   magic D5 13 E4 E8, int32 0, int32 (free), int64 bytes from this field to
//   the end of the sections; int32 N, N x (int32 id, int32 length, bytes);
//   int32 M, M x (int32 id, int32 even length, UTF-16LE);
//   int32 K, K x (int32 length, prefix bytes, int32 E, E message records).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/store.h"

namespace wl {

constexpr uint32_t kConfigMagic = 0xE8E413D5u;

// Where the reader gets its bytes: the executable file, or memory in tests.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual bool seek(uint64_t offset) = 0;
    // Reads up to count bytes; got is what arrived. False when the read failed.
    virtual bool read(void* buffer, uint32_t count, uint32_t& got) = 0;
    virtual uint64_t position() const = 0;
    virtual uint64_t size() const = 0;
    // The system error code of the last failed operation (0 when none).
    virtual uint32_t lastError() const { return 0; }
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    bool seek(uint64_t offset) override {
        position_ = offset;
        return true;
    }
    bool read(void* buffer, uint32_t count, uint32_t& got) override;
    uint64_t position() const override { return position_; }
    uint64_t size() const override { return bytes_.size(); }

private:
    std::string_view bytes_;
    uint64_t position_ = 0;
};

// Reads another source a window at a time: the block's fields are a few bytes
// each, and a seek and a read of the file for every one of them cost a system
// call apiece. Reads and seeks within the window are served from memory; a
// seek outside it reaches the source at once, so that it fails where it
// always did; a read at least a window long goes straight through.
class ReadAheadSource : public ByteSource {
public:
    static constexpr uint32_t kWindow = 16 * 1024;
    explicit ReadAheadSource(ByteSource& inner, uint32_t window = kWindow);
    bool seek(uint64_t offset) override;
    bool read(void* buffer, uint32_t count, uint32_t& got) override;
    uint64_t position() const override { return position_; }
    // Asked of the source once: the executable does not change under its reader.
    uint64_t size() const override { return size_; }
    uint32_t lastError() const override { return inner_.lastError(); }

private:
    ByteSource& inner_;
    std::vector<unsigned char> window_;
    uint64_t start_;         // where the window's first byte stands in the source
    uint32_t length_ = 0;    // the bytes the window holds
    uint64_t position_;      // this reader's own position
    uint64_t size_;
};

// The stream readers. Each reads at the current position and advances it. The
// first failure is kept as its fixed text ("Internal Error: readInt" ...) and
// logged as the launcher always has; the caller turns it into the fatal exit.
class BlockReader {
public:
    explicit BlockReader(ByteSource& source) : source_(source) {}

    bool seek(int64_t offset);
    bool readInt(int32_t& value);
    bool readShort(int16_t& value);
    bool readLong(int64_t& value);
    // An int32 byte length, then that many bytes. A negative length, one
    // beyond the end of the source, or one the process cannot allocate fails
    // before the value is allocated.
    bool readString(std::string& value);
    // An int32 byte length B, then B bytes of UTF-16LE; an odd last byte is
    // read and dropped.
    bool readWString(std::u16string& value);

    // Asked before a record is allocated: whether that many bytes can be had.
    // A length the file can hold may still be more than a 32-bit process can
    // allocate, and a failed allocation must end like a short read, not in
    // the allocator. The default tries the allocation without throwing.
    bool (*canAllocate)(std::size_t bytes) = tryAllocation;
    static bool tryAllocation(std::size_t bytes);

    bool failed() const { return failure_ != nullptr; }
    const char16_t* failure() const { return failure_; }
    void fail(const char16_t* text) {
        if (!failure_) failure_ = text;
    }
    ByteSource& source() { return source_; }

private:
    bool readExact(void* buffer, uint32_t count, uint32_t& got);
    bool readLength(int32_t& length, const char16_t* failureText);

    ByteSource& source_;
    const char16_t* failure_ = nullptr;
    bool positionInvalid_ = false;
};

struct LanguageSection {
    std::string prefix;
    std::vector<std::pair<int32_t, std::u16string>> messages;
};

// A block as it stands in the file, in file order.
struct ParsedBlock {
    uint64_t start = 0;
    int32_t headerWord1 = 0;
    int32_t headerWord2 = 0;
    int64_t headerLength = 0;
    std::vector<std::pair<int32_t, std::string>> settings;
    std::vector<std::pair<int32_t, std::u16string>> messages;
    std::vector<LanguageSection> sections;
    uint64_t end = 0;
};

// Walks the PE headers and positions the reader at the block start: the end
// of the raw data of the last section-table entry. Logs what it finds.
bool locateConfigBlock(BlockReader& reader, uint64_t& blockStart);

// Receives the records of a block in file order, each as soon as it is read,
// so that a block damaged further on leaves everything before the damage
// delivered.
class BlockVisitor {
public:
    virtual ~BlockVisitor() = default;
    virtual void header(int32_t /*word1*/, int32_t /*word2*/, int64_t /*length*/) {}
    virtual void setting(int32_t id, std::string&& value) = 0;
    virtual void message(int32_t id, std::u16string&& text) = 0;
    // Once the messages are read, before the first language section.
    virtual void beforeSections() {}
    virtual void section(std::string&& prefix) = 0;
    // A message of the section begun last.
    virtual void sectionMessage(int32_t id, std::u16string&& text) = 0;
};

// Reads the block at the current position into the visitor.
bool readBlockRecords(BlockReader& reader, BlockVisitor& visitor);

// Reads the block at the current position. On failure the block holds what
// was read before it, the section being read included.
bool parseConfigBlock(BlockReader& reader, ParsedBlock& block);

// Reads the block at the current position straight into the store: settings
// and messages (a later id replaces an earlier one, texts are cut at an
// embedded NUL as C strings end there), then the messages of the sections
// that match the locale code, in file order. localeCode is asked once, before
// the first language section. On failure the store holds what was read before
// it, so that the error can already use a caption read from the block.
bool loadConfigBlock(BlockReader& reader, ConfigStore& store, const std::function<std::string()>& localeCode);

// A language section applies when the locale code begins with its prefix.
bool sectionMatches(std::string_view prefix, std::string_view localeCode);

// The block's bytes, header to the end of the language sections. The header
// length field is computed; headerWord1 is written as 0.
std::string serializeConfigBlock(const ParsedBlock& block);

// The bytes a block without included files ends with: E8 E4 13 D5, then zeros
// up to 4096 bytes from the block start.
std::string blockTrailer(std::size_t blockSize);

}  // namespace wl
