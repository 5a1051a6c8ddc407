// The configuration block reader over a byte source, as the launcher runs it:
// the records straight into the store, then the included-file records behind
// the block; also the collecting reader with the writer, and the walk of the
// PE headers. No allocation may be larger than the input could justify.
#include <memory>

#include "config/block.h"
#include "config/entries.h"
#include "config/store.h"
#include "files/extract.h"
#include "fuzz_support.h"

namespace {

// Beyond the bytes left in the input: the terminator, the widened copy's
// rounding, and the fixed-size buffers of small containers.
constexpr std::size_t kAllocationSlack = 4096;

class CountingSink : public wl::ByteSink {
public:
    explicit CountingSink(uint64_t& total) : total_(total) {}
    bool write(const void*, uint32_t count, uint32_t& written) override {
        written = count;
        total_ += count;
        return true;
    }

private:
    uint64_t& total_;
};

class MemoryTarget : public wl::ExtractionTarget {
public:
    bool createDirectory(const std::string& path) override { return !path.empty(); }
    std::unique_ptr<wl::ByteSink> createFile(const std::string&) override {
        return std::make_unique<CountingSink>(written);
    }
    uint64_t written = 0;
};

// What the launcher does with the store: the included files behind the
// block, with the names it would accept.
void extractBehindBlock(wl::BlockReader& reader, const wl::ConfigStore& store, std::size_t inputSize) {
    auto setting = [&](int32_t id) {
        auto it = store.settings.find(id);
        return it == store.settings.end() ? std::string() : it->second;
    };
    int32_t count = wl::parseDecimalClamped(setting(wl::cfg::includedFileCount));
    if (count == 0) return;
    std::vector<std::string> names = wl::splitIncludedFileNames(setting(wl::cfg::includedFileNames));
    if (count < 0) names.clear();
    if (names.size() > std::size_t(count)) names.resize(std::size_t(count));
    if (wl::findRefusedIncludedName(names, wl::kByteCodec)) return;  // the launcher ends here

    uint64_t before = reader.source().position();
    MemoryTarget target;
    wl::ExtractionOutcome outcome = extractRecords(reader, "C:\\T\\vek1.tmp_dir1", names, target, wl::kByteCodec);
    FUZZ_CHECK(target.written <= inputSize - std::min<uint64_t>(before, inputSize));
    if (outcome.code == 0 && !outcome.sizeUnreadable && !outcome.cannotCreate) {
        FUZZ_CHECK(outcome.endPosition >= before && outcome.endPosition <= inputSize);
    }
    FUZZ_CHECK(!outcome.sizeUnreadable || reader.failed());
}

void loadIntoStore(std::string_view bytes, uint64_t start) {
    wl::MemorySource source(bytes);
    wl::BlockReader reader(source);
    reader.seek(int64_t(start));
    wl::ConfigStore store;
    bool ok;
    {
        fuzz::AllocationWatch watch;
        ok = wl::loadConfigBlock(reader, store, [] { return std::string("pt_BR"); });
        std::size_t left = bytes.size() - std::min<uint64_t>(start, bytes.size());
        FUZZ_CHECK(watch.largest() <= left + kAllocationSlack, "allocation of %zu bytes from %zu bytes of input",
                   watch.largest(), left);
    }
    FUZZ_CHECK(ok != reader.failed(), "a failure always has its text, a success none");
    if (!ok) return;
    FUZZ_CHECK(source.position() <= bytes.size());
    extractBehindBlock(reader, store, bytes.size());

    // The accessors over what was read.
    wl::configStore = std::move(store);
    (void)wl::getConfigInt(wl::cfg::applicationType);
    (void)wl::lookupMessage(wl::cfg::errorCaption, wl::kByteCodec);
    (void)wl::getConfigString(wl::cfg::includedFileNames, 2);
}

// What the collecting reader reads, the writer writes, and it reads back the same.
void roundTrip(std::string_view bytes) {
    wl::MemorySource source(bytes);
    wl::BlockReader reader(source);
    wl::ParsedBlock block;
    if (!wl::parseConfigBlock(reader, block)) return;
    std::string written = wl::serializeConfigBlock(block);
    wl::MemorySource again(written);
    wl::BlockReader rereader(again);
    wl::ParsedBlock reread;
    FUZZ_CHECK(wl::parseConfigBlock(rereader, reread));
    FUZZ_CHECK(reread.settings == block.settings && reread.messages == block.messages);
    FUZZ_CHECK(reread.sections.size() == block.sections.size());
    for (std::size_t i = 0; i < block.sections.size(); ++i) {
        FUZZ_CHECK(reread.sections[i].prefix == block.sections[i].prefix);
        FUZZ_CHECK(reread.sections[i].messages == block.sections[i].messages);
    }
    FUZZ_CHECK(reread.end == written.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view bytes = fuzz::bytesOf(data, size);
    loadIntoStore(bytes, 0);
    roundTrip(bytes);

    // The same bytes as a whole executable: walk its PE headers to the block.
    wl::MemorySource source(bytes);
    wl::BlockReader reader(source);
    uint64_t start = 0;
    if (wl::locateConfigBlock(reader, start) && start > 0 && start < size) loadIntoStore(bytes, start);
    return 0;
}
