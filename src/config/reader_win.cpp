#include "base/process_state.h"
#include "config/entries.h"
#include "config/locale.h"
#include "config/messages.h"
#include "config/reader.h"
#include "config/store.h"

namespace wl {

int32_t readConfigBlock(ByteSource& executable) {
    ReadAheadSource buffered(executable);
    BlockReader reader(buffered);
    uint64_t start = 0;
    // Records go into the store as they are read: when the block is damaged
    // further on, the error already has the caption (message 1000) if the
    // block carried it before the damage.
    bool ok = locateConfigBlock(reader, start) && loadConfigBlock(reader, configStore, [] {
                  std::string code = detectLocaleCode();
                  rememberLocaleParts(code);
                  return code;
              });
    if (!ok) fatalError(reader.failure());
    configBlockStart = uint32_t(start);
    configBlockEnd = uint32_t(buffered.position());

    int32_t applicationType = getConfigInt(cfg::applicationType);
    if (applicationType != 1 && applicationType != 5) guiMessages = false;
    return applicationType;
}

}  // namespace wl
