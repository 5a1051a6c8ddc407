#include "instance/instance.h"

#include "base/text.h"
#include "files/paths.h"

namespace wl {

std::string instanceNameFor(const std::string& instanceKey, bool global) {
    std::string name = global ? "Global\\" : "Local\\";
    for (char c : instanceKey) name.push_back(c == '\\' || c == ' ' ? '_' : c);
    return name;
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
