#include "instance/instance.h"

#include <algorithm>

#include "base/text.h"
#include "files/paths.h"

namespace wl {

std::string instanceNameFor(const std::string& instanceKey, bool global, const NarrowCodec& codec) {
    std::string name = global ? "Global\\" : "Local\\";
    // By characters: the second byte of a double-byte character may be the
    // byte of a backslash.
    std::optional<std::u16string> wide = exactWideForm(instanceKey, codec);
    if (!wide) {
        for (char c : instanceKey) name.push_back(c == '\\' || c == ' ' ? '_' : c);
        return name;
    }
    std::replace_if(wide->begin(), wide->end(), [](char16_t c) { return c == u'\\' || c == u' '; }, u'_');
    return name + codec.narrow(*wide, nullptr);
}

std::string numberedInstanceName(const std::string& name, uint32_t number) {
    return name + std::to_string(number);
}

bool semaphoreNameTaken(uint32_t creationError) {
    constexpr uint32_t kAccessDenied = 5;    // ERROR_ACCESS_DENIED
    constexpr uint32_t kAlreadyExists = 183;  // ERROR_ALREADY_EXISTS
    return creationError == kAlreadyExists || creationError == kAccessDenied;
}

bool sameExecutable(const std::u16string& imagePath, const std::u16string& ownPath) {
    std::u16string a = imagePath, b = ownPath;
    collapseBackslashes(a);
    collapseBackslashes(b);
    lowercaseAscii(a);
    lowercaseAscii(b);
    return !a.empty() && a == b;
}

}  // namespace wl
