// Reading the configuration block from the running executable, whose bytes
// the caller opens (files/executable.h). Windows only.
#pragma once

#include <cstdint>

#include "config/block.h"

namespace wl {

// Reads the block from the executable's bytes into the ConfigStore; fills
// configBlockEnd and guiMessages and returns the application type. Any
// failure ends the process.
int32_t readConfigBlock(ByteSource& executable);

}  // namespace wl
