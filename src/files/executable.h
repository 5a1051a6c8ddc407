// The executable's own file, the source of the configuration block and of the
// included files behind it. Windows only.
#pragma once

#include <cstdint>

#include "base/handle.h"
#include "config/block.h"

namespace wl {

// A ByteSource over an open file.
class FileSource : public ByteSource {
public:
    explicit FileSource(HANDLE file) : file_(file) {}
    bool seek(uint64_t offset) override;
    bool read(void* buffer, uint32_t count, uint32_t& got) override;
    uint64_t position() const override;
    uint64_t size() const override;
    uint32_t lastError() const override { return error_; }

private:
    HANDLE file_;
    uint32_t error_ = 0;
};

// Opens the executable for reading, sharing read and write. Ends the process
// with "Error opening media file." when it cannot.
FileHandle openOwnExecutable();

}  // namespace wl
