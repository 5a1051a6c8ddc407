// The ConfigStore: settings (id -> narrow bytes) and messages (id -> UTF-16),
// filled once from the configuration block and read by id everywhere else.
// An absent id reads as empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "base/text.h"

namespace wl {

struct ConfigStore {
    std::map<int32_t, std::string> settings;
    std::map<int32_t, std::u16string> messages;
};

// The process's store.
extern ConfigStore configStore;

// The setting cut to capacity-1 bytes, the room a buffer of that size leaves
// beside its terminator. A longer value is cut and logged.
std::string getConfigString(int32_t id, std::size_t capacity);
// The setting as a decimal integer: leading blanks and a sign allowed, stops at
// the first non-digit, 0 when empty, clamped to the int32 range.
int32_t getConfigInt(int32_t id);
// The setting when the block has it; nullptr when it is absent, so that a
// setting with a default can tell "not given" from "0".
const std::string* findConfigString(int32_t id);

// The whole setting, whatever its length.
std::string dupConfigString(int32_t id);
// The setting widened byte for byte, cut to capacity-1 code units.
std::u16string getConfigWide(int32_t id, std::size_t capacity);
// The message text, cut to capacity-1 code units.
std::u16string getMessage(int32_t id, std::size_t capacity = kBufferSize);
// The message; when that is empty, the setting of the same id. A setting is
// text in the code page the packer wrote it in, and a message is shown: it is
// widened through that code page (the codec), not byte for byte.
std::u16string lookupMessage(int32_t id, const NarrowCodec& codec);

// The decimal conversion of getConfigInt, on its own.
int32_t parseDecimalClamped(const std::string& text);

}  // namespace wl
