#include "config/store.h"

#include <climits>

#include "base/text.h"
#include "diag/log.h"

namespace wl {

ConfigStore configStore;

namespace {

const std::string* findSetting(int32_t id) {
    auto it = configStore.settings.find(id);
    return it == configStore.settings.end() ? nullptr : &it->second;
}

}  // namespace

std::string getConfigString(int32_t id, std::size_t capacity) {
    const std::string* value = findSetting(id);
    if (!value || capacity == 0) return {};
    std::size_t length = value->size();
    if (length > capacity - 1) {
        logMessage(u"ERROR: config string %d truncated (%d %d)", int(id), int(capacity), int(length));
        return value->substr(0, capacity - 1);
    }
    return *value;
}

int32_t parseDecimalClamped(const std::string& text) {
    std::size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
    while (i < text.size() && blank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t magnitude = 0;
    const int64_t limit = negative ? -int64_t(INT32_MIN) : int64_t(INT32_MAX);
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit) {
            magnitude = limit;  // saturate; the remaining digits cannot bring it back
        }
    }
    return int32_t(negative ? -magnitude : magnitude);
}

const std::string* findConfigString(int32_t id) { return findSetting(id); }

int32_t getConfigInt(int32_t id) { return parseDecimalClamped(getConfigString(id, kBufferSize)); }

std::string dupConfigString(int32_t id) {
    const std::string* value = findSetting(id);
    return value ? *value : std::string();
}

std::u16string getConfigWide(int32_t id, std::size_t capacity) {
    const std::string* value = findSetting(id);
    if (!value || capacity == 0) return {};
    if (value->size() > capacity - 1) {
        logMessage(u"ERROR: config string %d truncated (%d %d)", int(id), int(capacity), int(value->size()));
        return widenBytes(std::string_view(*value).substr(0, capacity - 1));
    }
    return widenBytes(*value);
}

std::u16string getMessage(int32_t id, std::size_t capacity) {
    auto it = configStore.messages.find(id);
    if (it == configStore.messages.end()) return {};
    return fitToCapacity(it->second, capacity);
}

std::u16string lookupMessage(int32_t id, const NarrowCodec& codec) {
    std::u16string text = getMessage(id, kBufferSize);
    if (text.empty()) text = fitToCapacity(codec.widen(getConfigString(id, kBufferSize)), kBufferSize);
    return text;
}

}  // namespace wl
