// The included-file name check and path resolution. Property: a name the
// check accepts resolves, the way Windows resolves paths, to a place inside
// the per-run directory, never the directory itself or anything outside it.
// The input is one name (bytes of the code page), or a name list with ";".
#include <algorithm>

#include "files/extract.h"
#include "files/paths.h"
#include "fuzz_support.h"

namespace {

const std::string kRunDir = "C:\\T\\vek1.tmp_dir1";

std::string upper(std::string text) {
    for (char& c : text) c = char(wl::asciiUpper(c));
    return text;
}

// Reserved in every directory, with any extension and trailing spaces.
bool windowsDevice(std::string component) {
    component = upper(component.substr(0, component.find('.')));
    while (!component.empty() && component.back() == ' ') component.pop_back();
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : devices)
        if (component == device) return true;
    if (component.size() == 4 && (component.rfind("COM", 0) == 0 || component.rfind("LPT", 0) == 0)) {
        unsigned char d = static_cast<unsigned char>(component[3]);
        return (d >= '0' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
    }
    return false;
}

// Where Windows would put a path under the directory, as components below
// it; false when it would leave it, name a device, a drive or a stream.
bool resolvesInside(const std::string& path, std::vector<std::string>& below) {
    if (path.compare(0, kRunDir.size() + 1, kRunDir + "\\") != 0) return false;
    std::string rest = path.substr(kRunDir.size() + 1);
    if (rest.find(':') != std::string::npos) return false;
    std::replace(rest.begin(), rest.end(), '/', '\\');
    if (!rest.empty() && rest[0] == '\\') return false;
    for (const std::string& raw : fuzz::pieces(rest, '\\')) {
        std::string component = raw;
        // Windows drops trailing dots and spaces, so "... " is "..".
        while (!component.empty() && (component.back() == '.' || component.back() == ' ')) component.pop_back();
        if (component.empty() && !raw.empty() && raw.find_first_not_of('.') == std::string::npos && raw.size() >= 2)
            component = "..";
        if (component.empty() || raw == ".") continue;
        if (component == "..") {
            if (below.empty()) return false;
            below.pop_back();
            continue;
        }
        if (windowsDevice(component)) return false;
        below.push_back(component);
    }
    return !below.empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string input(fuzz::bytesOf(data, size));
    for (const std::string& name : wl::splitIncludedFileNames(input)) {
        FUZZ_CHECK(!name.empty() && name.find(';') == std::string::npos);
        if (!wl::checkIncludedFileName(name, wl::kByteCodec).empty()) continue;

        std::vector<std::string> below;
        std::string target = wl::includedFileTarget(kRunDir, name);
        FUZZ_CHECK(resolvesInside(target, below), "accepted name %s leaves the per-run directory", name.c_str());
        std::string directory = wl::includedFileDirectory(kRunDir, name, wl::kByteCodec);
        if (!directory.empty()) FUZZ_CHECK(target.compare(0, directory.size() + 1, directory + "\\") == 0);

        // Taken against the per-run directory as any relative path is.
        FUZZ_CHECK(wl::isRelativePath(name));
        std::u16string resolved = wl::composeResolvedPath(fuzz::wide(name), fuzz::wide(kRunDir + "\\"));
        FUZZ_CHECK(resolved.compare(0, kRunDir.size() + 1, fuzz::wide(kRunDir + "\\")) == 0);
    }
    return 0;
}
