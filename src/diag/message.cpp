#include "diag/message.h"

#include "base/format.h"
#include "base/text.h"

namespace wl {

std::u16string composeDisplayText(const std::u16string& text, const std::u16string& logName) {
    if (logName.empty()) return fitToCapacity(text, kBufferSize);
    return fitToCapacity(formatWide(u"%s\n\nLog: %s", text.c_str(), logName.c_str()), kBufferSize);
}

}  // namespace wl
