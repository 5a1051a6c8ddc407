#include "jre/jvm.h"

#include "base/text.h"
#include "config/entries.h"
#include "files/paths.h"

namespace wl {

std::vector<std::string> jvmTypeOrder(const std::string& preferredType) {
    std::vector<std::string> order;
    if (!preferredType.empty()) order.push_back(preferredType);
    for (const char* type : kJvmTypeDirs) order.emplace_back(type);
    return order;
}

std::size_t javaExeNameLength(const std::string& javaExe) {
    constexpr std::string_view javaw = "javaw.exe";
    bool windowed = javaExe.size() >= javaw.size() &&
                    equalsIgnoreAsciiCase(std::string_view(javaExe).substr(javaExe.size() - javaw.size()), javaw);
    return windowed ? javaw.size() : std::string_view("java.exe").size();
}

std::string binDirectoryOf(const std::string& javaExe) {
    std::size_t name = javaExeNameLength(javaExe) + 1;  // with its backslash
    return javaExe.size() > name ? javaExe.substr(0, javaExe.size() - name) : std::string();
}

std::string jvmHomeFor(const std::string& javaExe) {
    std::size_t name = javaExeNameLength(javaExe);
    return (javaExe.size() > name ? javaExe.substr(0, javaExe.size() - name) : std::string()) + "..";
}

std::string privateJreJavaExe(const std::string& javaExe, const NarrowCodec& codec) {
    return directoryOf(javaExe, codec) + "..\\jre\\bin\\java.exe";
}

bool needsUcrtPreload(uint32_t major, uint32_t minor) { return major < 6 || (major == 6 && minor < 4); }

LoadFailureMessage loadFailureMessage(LocationKind kind) {
    switch (kind) {
        case LocationKind::Directory: return {cfg::jvmDamaged, LoadFailureMessage::LocationText};
        case LocationKind::EnvironmentVariable: return {cfg::javaHomeUnusable, LoadFailureMessage::LocationText};
        case LocationKind::Registry: return {cfg::jvmNotStartable, LoadFailureMessage::NoArgument};
        case LocationKind::None:
        case LocationKind::SearchPath: break;
    }
    return {cfg::noJvmFound, LoadFailureMessage::Bitness};
}

}  // namespace wl
