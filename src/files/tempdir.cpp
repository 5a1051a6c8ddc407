#include "files/tempdir.h"

#include "base/format.h"
#include "base/text.h"
#include "diag/log.h"
#include "files/paths.h"

namespace wl {
namespace {

using S = TempSource;

// Rows 1-4 refuse names the code page cannot hold; 5-9 are fixed places;
// 10-12 repeat 1-3 without that test.
const std::array<TempCandidateRow, 12> kRows = {{
    {S::TempPath, true, true, true},
    {S::UserProfileTemp, false, true, true},
    {S::HomeDrivePath, false, true, true},
    {S::CommonAppDataTemp, true, true, true},
    {S::WindowsTemp, false, false, false},
    {S::CTemp, false, false, false},
    {S::CTmp, false, false, false},
    {S::WindowsDir, false, false, false},
    {S::CTmp, true, false, false},
    {S::TempPath, true, false, true},
    {S::UserProfileTemp, false, false, true},
    {S::HomeDrivePath, false, false, true},
}};

template <class Str>
std::optional<Str> search(const std::function<std::optional<Str>(const TempCandidateRow&)>& candidate,
                          const std::function<bool(Str&, const TempCandidateRow&)>& usable) {
    for (const TempCandidateRow& row : kRows) {
        std::optional<Str> text = candidate(row);
        if (!text || text->empty()) continue;
        if (usable(*text, row)) return text;
    }
    return std::nullopt;
}

}  // namespace

const std::array<TempCandidateRow, 12>& tempCandidateRows() { return kRows; }

std::optional<std::string> searchTempCandidates(
    const std::function<std::optional<std::string>(const TempCandidateRow&)>& candidate,
    const std::function<bool(std::string&, const TempCandidateRow&)>& usable) {
    return search(candidate, usable);
}

std::optional<std::u16string> searchTempCandidates(
    const std::function<std::optional<std::u16string>(const TempCandidateRow&)>& candidate,
    const std::function<bool(std::u16string&, const TempCandidateRow&)>& usable) {
    return search(candidate, usable);
}

LongFormVerdict judgeLongForm(const std::string& candidate, const std::optional<std::string>& longForm,
                              bool rejectUnrepresentable, bool adoptLongForm) {
    if (!longForm) return LongFormVerdict::Keep;
    // "?" stands for a character the code page could not hold.
    if (longForm->find('?') != std::string::npos)
        return rejectUnrepresentable ? LongFormVerdict::Reject : LongFormVerdict::Keep;
    if (adoptLongForm && longForm->size() + 1 < kBufferSize && *longForm != candidate)
        return LongFormVerdict::Adopt;
    return LongFormVerdict::Keep;
}

int firstRandom(uint32_t seed) {
    // The C runtime's linear congruential generator, first draw.
    uint32_t next = seed * 214013u + 2531011u;
    return int((next >> 16) & 0x7FFF);
}

uint32_t tempRandomSeed(int64_t secondsSince1970, uint32_t processId) {
    return uint32_t(uint64_t(secondsSince1970) * processId);
}

std::string probeDirectoryName(const std::string& candidate, uint32_t processId, int random) {
    return candidate + "\\vektw" + std::to_string(processId) + std::to_string(random);
}

std::u16string probeDirectoryName(const std::u16string& candidate, uint32_t processId, int random) {
    return formatWide(u"%s\\vektw%u%d", candidate.c_str(), unsigned(processId), random);
}

std::string fallbackTempFileName(const std::string& directory, int random, const NarrowCodec& codec) {
    std::string name = directory;
    if (name.empty() || (name.back() != '/' && !endsWithBackslash(name, codec))) name += '\\';
    return name + "vek" + std::to_string(random);
}

std::string launcherTempDirName(const std::string& tempFile, int64_t secondsSince1970) {
    return tempFile + "_dir" + std::to_string(int32_t(uint32_t(uint64_t(secondsSince1970))));
}

std::optional<std::string> createLauncherTempDirWith(
    const std::function<std::string()>& makeTempFile, const std::function<int64_t()>& secondsSince1970,
    const std::function<bool(const std::string&, uint32_t& error)>& createDirectory) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::string directory = launcherTempDirName(makeTempFile(), secondsSince1970());
        logMessage(u"Temp dir3: %S", directory.c_str());
        uint32_t error = 0;
        if (createDirectory(directory, error)) return directory;
        logMessage(u"Could not create dir (%d)", int(error));
    }
    return std::nullopt;
}

void emptyDirectoryWith(const std::string& path, bool recurse, const DirectoryOps& ops) {
    if (path.empty() || path[0] == '.') return;
    logMessage(u"emptying %S", path.c_str());
    std::string base = endsWithBackslash(path, *ops.codec) ? path : path + "\\";
    for (const DirectoryEntry& entry : ops.list(base + "*.*")) {
        if (entry.name == "." || entry.name == "..") continue;
        std::string full = base + entry.name;
        if (entry.isDirectory) {
            logMessage(u"attempting to remove %S (%d)", full.c_str(), recurse ? 1 : 0);
            // One level only: what lies deeper keeps its directory alive. A
            // link is not followed, so nothing outside the directory is lost.
            if (recurse && !entry.isLink) emptyDirectoryWith(full, false, ops);
            ops.removeDirectory(full);
        } else {
            logMessage(u"attempting to delete %S", full.c_str());
            ops.deleteFile(full);
        }
    }
}

void removeRunDirectoryWith(const std::string& path, bool isLink, const DirectoryOps& ops) {
    if (path.empty()) return;
    if (isLink) {
        logMessage(u"not emptying %S: it is a link", path.c_str());
        return;
    }
    emptyDirectoryWith(path, true, ops);
    ops.removeDirectory(path);
}

bool liesDirectlyIn(std::u16string_view entryFinal, std::u16string_view directoryFinal) {
    while (!directoryFinal.empty() && directoryFinal.back() == u'\\') directoryFinal.remove_suffix(1);
    const std::size_t slash = entryFinal.rfind(u'\\');
    if (directoryFinal.empty() || slash == std::u16string_view::npos || slash + 1 == entryFinal.size()) return false;
    std::u16string_view parent = entryFinal.substr(0, slash);
    if (parent.size() != directoryFinal.size()) return false;
    // Both come from the same system call; only the case of letters may
    // differ where a name was given in another case.
    auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; };
    for (std::size_t i = 0; i < parent.size(); ++i)
        if (fold(parent[i]) != fold(directoryFinal[i])) return false;
    return true;
}

}  // namespace wl
