#include "files/pathenv.h"

#include "base/text.h"

namespace wl {
namespace {

bool startsWithIgnoringCase(const std::u16string& text, const std::u16string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (asciiLower(text[i]) != asciiLower(prefix[i])) return false;
    return true;
}

// The entry is the directory itself or lies below it: the match must end at
// a separator, so C:\WindowsApps is not under C:\Windows.
bool isUnderDirectory(const std::u16string& entry, const std::u16string& directory) {
    if (!startsWithIgnoringCase(entry, directory)) return false;
    if (entry.size() == directory.size()) return true;
    char16_t next = entry[directory.size()];
    char16_t last = directory.empty() ? u'\\' : directory.back();
    return next == u'\\' || next == u'/' || last == u'\\' || last == u'/';
}

}  // namespace


std::u16string reducePathValue(const std::u16string& path, const std::u16string& windowsDir) {
    std::u16string reduced;
    for (const std::u16string& entry : splitList(path)) {
        if (!isUnderDirectory(entry, windowsDir)) continue;
        if (!reduced.empty()) reduced += u';';
        reduced += entry;
    }
    return reduced;
}

std::u16string prependPathEntries(const std::vector<std::u16string>& directories, const std::u16string& currentPath) {
    std::u16string value;
    for (const std::u16string& directory : directories) {
        if (!value.empty()) value += u';';
        value += directory;
    }
    if (!value.empty() && value.back() != u';') value += u';';
    return value + currentPath;
}

}  // namespace wl
