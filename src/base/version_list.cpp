#include "base/version_list.h"

#include <cstdint>

namespace wl {

VersionList splitVersion(std::string_view text) {
    VersionList parts;
    auto separator = [](char c) { return c == '.' || c == '_' || c == '-' || c == '+'; };
    std::size_t at = 0;
    while (at < text.size()) {
        if (separator(text[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && !separator(text[end])) ++end;
        int64_t value = 0;
        for (std::size_t i = at; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
            value = value * 10 + (text[i] - '0');
            if (value > INT32_MAX) value = INT32_MAX;
        }
        parts.push_back(int32_t(value));
        at = end;
    }
    return parts;
}

}  // namespace wl
