// Included files: copies the files that travel behind the configuration block
// out of the executable into the per-run temporary directory.
//
// Records, back to back from configBlockEnd in the order of the name list:
// signed 64-bit little-endian size n, then n bytes, each stored XOR 0xA7.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "config/block.h"

namespace wl {

constexpr unsigned char kIncludedFileMask = 0xA7;
// Contents are streamed through one buffer of this size.
constexpr uint32_t kExtractChunkSize = kBufferSize;

// --- Portable decisions ---

// Why a name may not be extracted, or empty when it may. A name must stay
// inside the per-run directory: no ".." component, no drive or ":", no
// leading "\" or "/" (which also covers UNC and device prefixes), no device
// name such as CON, no characters Windows does not allow in names, and no
// component that Windows would silently change (trailing dot or space). Only
// the part before the first separator is ever created as a directory, so a
// name is nested at most one directory deep, and a component holds at most
// the 255 characters Windows allows. ";" would split the name list. The name
// is in the codec's code page, whose double-byte characters may end in the
// byte of a backslash or a "|": it is checked in its wide form.
std::string checkIncludedFileName(const std::string& name, const NarrowCodec& codec);

// The form in which Windows compares a name with the others of a directory:
// wide, "/" as "\", letters in upper case. Besides ASCII, the case pairs of
// Latin-1, Latin Extended-A, Greek, Cyrillic and the full-width Latin letters
// are folded, the letters of the single-byte and East Asian code pages.
std::u16string includedFileNameKey(const std::string& name, const NarrowCodec& codec);

// The first name of the list that may not be extracted and why: one that
// checkIncludedFileName refuses, or one that names the same file as an
// earlier name, which would leave the application whichever record came last.
struct RefusedName {
    std::size_t index = 0;
    std::string problem;
};
std::optional<RefusedName> findRefusedIncludedName(const std::vector<std::string>& names, const NarrowCodec& codec);

// The names of the name list in order; consecutive ";" count as one.
std::vector<std::string> splitIncludedFileNames(const std::string& names);

// "<tempDir>\<name>".
std::string includedFileTarget(const std::string& tempDir, const std::string& name);
// The target cut at the name's first backslash (a character, not a byte): the
// one directory level that is created; empty when the name has no backslash.
std::string includedFileDirectory(const std::string& tempDir, const std::string& name, const NarrowCodec& codec);

// Where extracted bytes go: a file, or memory in tests.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes up to count bytes; written is what was taken. False on failure.
    virtual bool write(const void* buffer, uint32_t count, uint32_t& written) = 0;
    virtual uint32_t lastError() const { return 0; }
};

// Copies size bytes from the source to the sink in chunks of at most 6000
// bytes, undoing the mask. 0 on success, 1 when reading failed or the source
// ended early, 2 when writing failed. Nothing is allocated from the size, so
// a size that the file cannot hold is harmless.
int copyIncludedContent(ByteSource& source, ByteSink& sink, int64_t size);

// Where the record loop puts directories and files.
class ExtractionTarget {
public:
    virtual ~ExtractionTarget() = default;
    // Creates a directory; false when that failed for another reason than
    // the directory existing already.
    virtual bool createDirectory(const std::string& path) = 0;
    // Creates the file anew (an existing one is truncated); nullptr when it
    // cannot be created.
    virtual std::unique_ptr<ByteSink> createFile(const std::string& path) = 0;
};

struct ExtractionOutcome {
    int code = 0;                // 0, or 1 (read failed) or 2 (write failed)
    bool sizeUnreadable = false;  // a record's size field is missing: the reader holds the failure
    bool cannotCreate = false;    // a target file could not be created
    uint64_t endPosition = 0;     // after success: the position behind the last record read
};

// Extracts one record per name, in order, from the reader's position into
// tempDir: creates the name's directory part, reads the size, and for a
// positive size creates the file and copies the content. Stops at the first
// failure.
ExtractionOutcome extractRecords(BlockReader& reader, const std::string& tempDir,
                                 const std::vector<std::string>& names, ExtractionTarget& target,
                                 const NarrowCodec& codec);

// --- Windows side ---

// Extracts every included file. 0 on success, 1 when reading the executable
// failed, 2 when writing failed; a missing per-run directory, a file that
// cannot be created and a name that would leave the per-run directory end the
// launch here. Sets unextractedPosition.
int extractIncludedFiles();

}  // namespace wl
