#include "unpack/pack200.h"

#include "base/text.h"

namespace wl {

bool isPackFileName(std::string_view name) {
    constexpr std::string_view suffix = ".jar.pack";
    return name.size() > suffix.size() && equalsIgnoreAsciiCase(name.substr(name.size() - suffix.size()), suffix);
}

std::string packTarget(const std::string& packPath) {
    return packPath.size() >= 5 ? packPath.substr(0, packPath.size() - 5) : std::string();
}

std::string unpackCommandLine(const std::string& packPath, const std::string& target) {
    return "-r \"" + packPath + "\" \"" + target + "\"";
}

}  // namespace wl
