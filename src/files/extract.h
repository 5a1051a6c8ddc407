// Included files: copies the files that travel behind the configuration block
// out of the executable into the per-run temporary directory.
//
// Records, back to back from configBlockEnd in the order of the name list:
// signed 64-bit little-endian size n, then n bytes, each stored XOR 0xA7.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/block.h"

namespace wl {

constexpr unsigned char kIncludedFileMask = 0xA7;
// Contents are streamed through one buffer of this size.
constexpr uint32_t kExtractChunkSize = 6000;

// --- Portable decisions ---

// Why a name may not be extracted, or empty when it may. A name must stay
// inside the per-run directory: no ".." component, no drive or ":", no
// leading "\" or "/" (which also covers UNC and device prefixes), no device
// name such as CON, no characters Windows does not allow in names, and no
// component that Windows would silently change (trailing dot or space).
std::string checkIncludedFileName(const std::string& name);

// The names of the name list in order; consecutive ";" count as one.
std::vector<std::string> splitIncludedFileNames(const std::string& names);

// "<tempDir>\<name>".
std::string includedFileTarget(const std::string& tempDir, const std::string& name);
// The target cut at the name's first backslash: the one directory level that
// is created; empty when the name has no backslash.
std::string includedFileDirectory(const std::string& tempDir, const std::string& name);

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

// --- Windows side ---

// Extracts every included file. 0 on success, 1 when reading the executable
// failed, 2 when writing failed; a missing per-run directory, a file that
// cannot be created and a name that would leave the per-run directory end the
// launch here. Sets unextractedPosition.
int extractIncludedFiles();

}  // namespace wl
