#include "files/paths.h"

#include "base/text.h"

namespace wl {
namespace {

template <class S> void collapse(S& path) {
    // Most paths hold no doubled backslash behind their first character and
    // stay as they are; otherwise everything before the second backslash of
    // the first pair is kept in one piece.
    using C = typename S::value_type;
    const C pair[] = {C('\\'), C('\\'), C(0)};
    const std::size_t first = path.find(pair, 1);
    if (first == S::npos) return;
    S out(path, 0, first + 1);
    for (std::size_t i = first + 1; i < path.size(); ++i) {
        // A backslash after a kept backslash goes, unless that one is the
        // first character: a leading pair (UNC) survives.
        if (path[i] == '\\' && out.back() == '\\' && out.size() > 1) continue;
        out.push_back(path[i]);
    }
    path.swap(out);
}

template <class S> bool relative(const S& path) {
    if (path.size() < 3) return true;
    std::size_t at = 0;
    if (path[0] == '"') {
        if (path.size() < 4) return true;
        at = 1;
    }
    if (path[at + 1] == ':' && path[at + 2] == '\\') return false;
    if (path[at] == '\\' && path[at + 1] == '\\') return false;
    return true;
}

template <class S> bool driveRoot(const S& path) {
    if (path.empty()) return false;
    auto rest = path.substr(1);
    return rest.size() >= 2 && rest[0] == ':' && rest[1] == '\\' &&
           (rest.size() == 2 || (rest.size() == 3 && rest[2] == '.') ||
            (rest.size() == 5 && rest[2] == '.' && rest[3] == '\\' && rest[4] == '.'));
}

template <class S> S directoryPart(const S& name) {
    const S separators{'\\', '/'};
    auto at = name.find_last_of(separators);
    return at == S::npos ? S() : name.substr(0, at + 1);
}

}  // namespace

void collapseBackslashes(std::u16string& path) { collapse(path); }

void collapseBackslashes(std::string& path, const NarrowCodec& codec) {
    // Two backslashes in a row in the text are two 0x5C bytes in a row, so
    // bytes without such a pair hold none (a trail byte 0x5C can only make
    // the bytes look as if they had one), and need no conversion.
    if (path.find("\\\\", 1) == std::string::npos) return;
    std::optional<std::u16string> wide = exactWideForm(path, codec);
    if (!wide) return;
    const std::size_t before = wide->size();
    collapse(*wide);
    if (wide->size() == before) return;
    bool lossy = false;
    std::string collapsed = codec.narrow(*wide, &lossy);
    if (!lossy) path = std::move(collapsed);
}

bool isRelativePath(const std::u16string& path) { return relative(path); }
bool isRelativePath(const std::string& path) { return relative(path); }

bool endsWithExe(const std::string& path) {
    return path.size() >= 5 && equalsIgnoreAsciiCase(std::string_view(path).substr(path.size() - 4), ".exe");
}

bool isDriveRoot(const std::u16string& path) { return driveRoot(path); }
bool isDriveRoot(const std::string& path) { return driveRoot(path); }

void lowercaseAscii(std::u16string& path) {
    for (char16_t& c : path) c = asciiLower(c);
}

std::u16string composeResolvedPath(const std::u16string& path, const std::u16string& baseDir) {
    std::u16string out = isRelativePath(path) ? baseDir + path : path;
    collapseBackslashes(out);
    return out;
}

std::string composeResolvedPath(const std::string& path, const std::string& baseDir, const NarrowCodec& codec) {
    std::string out = isRelativePath(path) ? baseDir + path : path;
    collapseBackslashes(out, codec);
    return out;
}

std::u16string directoryOf(const std::u16string& fullName) { return directoryPart(fullName); }

std::string directoryOf(const std::string& fullName, const NarrowCodec& codec) {
    std::optional<std::u16string> wide = exactWideForm(fullName, codec);
    if (!wide) return directoryPart(fullName);
    // The code pages are stateless: the narrow form of the wide directory is
    // a prefix of the name's bytes.
    return fullName.substr(0, codec.narrow(directoryPart(*wide), nullptr).size());
}

bool endsWithBackslash(const std::string& path, const NarrowCodec& codec) {
    if (path.empty() || path.back() != '\\') return false;
    std::optional<std::u16string> wide = exactWideForm(path, codec);
    return !wide || wide->back() == u'\\';
}

std::string chooseNarrowModulePath(const std::function<NarrowCandidate()>& longForm,
                                   const std::function<NarrowCandidate()>& shortForm,
                                   const std::function<std::optional<std::string>()>& viaCommandInterpreter,
                                   const std::function<std::optional<std::string>()>& lastResort) {
    for (const auto* candidate : {&longForm, &shortForm}) {
        NarrowCandidate c = (*candidate)();
        if (c.text && !c.lossy && endsWithExe(*c.text)) return *c.text;
    }
    if (std::optional<std::string> viaCmd = viaCommandInterpreter(); viaCmd && endsWithExe(*viaCmd))
        return *viaCmd;
    std::optional<std::string> last = lastResort();
    return last ? *last : std::string();
}

std::optional<std::string> shortPathFromCmdOutput(const std::string& output, uint32_t exitCode) {
    if (exitCode != 0 || output.size() <= 5) return std::nullopt;
    std::size_t end = output.find_first_of("\r\n");
    if (end == std::string::npos) return std::nullopt;
    return output.substr(0, end);
}

}  // namespace wl
