#include "diag/message.h"

#include "base/format.h"
#include "base/text.h"
#include "config/store.h"

namespace wl {

std::u16string substitutePlaceholder(const std::u16string& text, const std::u16string* argument) {
    if (!argument) return text;
    std::size_t at = text.find(u"{0}");
    if (at == std::u16string::npos) return text;
    return fitToCapacity(text.substr(0, at) + *argument + text.substr(at + 3), kBufferSize);
}

std::u16string composeDisplayText(const std::u16string& text, const std::u16string& logName) {
    if (logName.empty()) return fitToCapacity(text, kBufferSize);
    return fitToCapacity(formatWide(u"%s\n\nLog: %s", text.c_str(), logName.c_str()), kBufferSize);
}

}  // namespace wl
