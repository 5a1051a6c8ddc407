#include "config/messages.h"

#include "base/text.h"

namespace wl {

std::u16string substitutePlaceholder(const std::u16string& text, const std::u16string* argument) {
    if (!argument) return text;
    std::size_t at = text.find(u"{0}");
    if (at == std::u16string::npos) return text;
    return fitToCapacity(text.substr(0, at) + *argument + text.substr(at + 3), kBufferSize);
}

}  // namespace wl
