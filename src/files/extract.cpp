#include "files/extract.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "base/text.h"
#include "diag/log.h"

namespace wl {
namespace {

// Names that Windows maps to devices in any directory, with or without an
// extension: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (also with
// the superscript digits 1, 2 and 3).
bool isDeviceName(std::u16string_view component) {
    std::u16string stem(component.substr(0, component.find(u'.')));
    while (!stem.empty() && stem.back() == u' ') stem.pop_back();
    for (char16_t& c : stem) c = asciiUpper(c);
    for (const char16_t* device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"})
        if (stem == device) return true;
    if (stem.size() == 4 && (stem.compare(0, 3, u"COM") == 0 || stem.compare(0, 3, u"LPT") == 0)) {
        char16_t digit = stem[3];
        return (digit >= u'0' && digit <= u'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

// The name as Windows reads it: its exact wide form, or byte for byte when
// the code page cannot give one.
std::u16string wideName(const std::string& name, const NarrowCodec& codec) {
    std::optional<std::u16string> wide = exactWideForm(name, codec);
    return wide ? *wide : widenBytes(name);
}

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Upper case as the file system compares names, for the scripts of the code
// pages: the pairs of each block, each lower-case letter mapped within it.
char16_t upperForNames(char16_t c) {
    // In a block of pairs from first to last, the upper-case letter comes
    // first in each pair.
    auto lowerOfPair = [&](char16_t first, char16_t last) { return c > first && c <= last && ((c - first) & 1); };
    if (c < 0x80) return asciiUpper(c);
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F) || (c >= 0xFF41 && c <= 0xFF5A))
        return char16_t(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c == 0x3C2) return 0x3A3;  // final sigma
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return char16_t(c - 0x25);
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return char16_t(c - 0x3F);
    if (c >= 0x450 && c <= 0x45F) return char16_t(c - 0x50);
    if (c == 0x4CF) return 0x4C0;
    if (lowerOfPair(0x100, 0x12F) || lowerOfPair(0x132, 0x137) || lowerOfPair(0x139, 0x148) ||
        lowerOfPair(0x14A, 0x177) || lowerOfPair(0x179, 0x17E) || lowerOfPair(0x460, 0x481) ||
        lowerOfPair(0x48A, 0x4BF) || lowerOfPair(0x4C1, 0x4CE) || lowerOfPair(0x4D0, 0x52F))
        return char16_t(c - 1);
    return c;
}

}  // namespace

std::string checkIncludedFileName(const std::string& name, const NarrowCodec& codec) {
    if (name.empty()) return "is empty";
    std::u16string wide = wideName(name, codec);
    for (char16_t c : wide) {
        if (c < 0x20 || std::u16string_view(u"<>\"|?*").find(c) != std::u16string_view::npos)
            return "contains a character that Windows does not allow in names";
    }
    if (wide.find(u';') != std::u16string::npos) return "contains \";\", the separator of the name list";
    if (wide.find(u':') != std::u16string::npos) return "names a drive or a stream";
    if (isSeparator(wide[0])) return "is absolute";
    std::size_t components = 0;
    for (std::size_t start = 0; start <= wide.size(); ++components) {
        std::size_t end = start;
        while (end < wide.size() && !isSeparator(wide[end])) ++end;
        std::u16string_view component = std::u16string_view(wide).substr(start, end - start);
        if (component.empty()) return "has an empty path component";
        if (component == u"." || component == u"..") return "leaves the directory with \"..\" or \".\"";
        // Windows drops trailing dots and spaces, so "..." or ".. " would
        // become something else than what is written.
        if (component.back() == u'.' || component.back() == u' ') return "has a component ending in a dot or a space";
        if (component.size() > 255) return "has a component longer than 255 characters";
        if (isDeviceName(component)) return "names a device";
        start = end + 1;
    }
    if (components > 2) return "is nested deeper than one directory";
    return {};
}

std::u16string includedFileNameKey(const std::string& name, const NarrowCodec& codec) {
    std::u16string key = wideName(name, codec);
    for (char16_t& c : key) c = c == u'/' ? u'\\' : upperForNames(c);
    return key;
}

std::optional<RefusedName> findRefusedIncludedName(const std::vector<std::string>& names, const NarrowCodec& codec) {
    std::map<std::u16string, std::size_t> seen;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string problem = checkIncludedFileName(names[i], codec);
        if (!problem.empty()) return RefusedName{i, problem};
        auto [earlier, fresh] = seen.emplace(includedFileNameKey(names[i], codec), i);
        if (!fresh) return RefusedName{i, "names the same file as \"" + names[earlier->second] + "\""};
    }
    return std::nullopt;
}

std::vector<std::string> splitIncludedFileNames(const std::string& names) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < names.size()) {
        std::size_t end = names.find(';', start);
        if (end == std::string::npos) end = names.size();
        if (end > start) out.push_back(names.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::string includedFileTarget(const std::string& tempDir, const std::string& name) {
    return tempDir + "\\" + name;
}

std::string includedFileDirectory(const std::string& tempDir, const std::string& name, const NarrowCodec& codec) {
    std::optional<std::u16string> wide = exactWideForm(name, codec);
    std::size_t slash = name.find('\\');
    if (wide) {
        std::size_t at = wide->find(u'\\');
        slash = at == std::u16string::npos ? std::string::npos : codec.narrow(wide->substr(0, at), nullptr).size();
    }
    if (slash == std::string::npos) return {};
    return tempDir + "\\" + name.substr(0, slash);
}

int copyIncludedContent(ByteSource& source, ByteSink& sink, int64_t size) {
    unsigned char buffer[kExtractChunkSize];
    int64_t copied = 0;
    while (copied < size) {
        uint32_t want = uint32_t(std::min<int64_t>(kExtractChunkSize, size - copied));
        uint32_t got = 0;
        if (!source.read(buffer, want, got) || got == 0) {
            logError(u"ReadFile failed %d %d %I64d", int(got), int(source.lastError()), (long long)copied);
            return 1;
        }
        for (uint32_t i = 0; i < got; ++i) buffer[i] ^= kIncludedFileMask;
        uint32_t done = 0;
        while (done < got) {
            uint32_t written = 0;
            // A write that takes nothing would never finish: a failure as well.
            if (!sink.write(buffer + done, got - done, written) || written == 0) {
                logError(u"WriteFile failed %d %d", int(got - done), int(sink.lastError()));
                return 2;
            }
            done += std::min(written, got - done);
        }
        copied += got;
    }
    return 0;
}

ExtractionOutcome extractRecords(BlockReader& reader, const std::string& tempDir,
                                 const std::vector<std::string>& names, ExtractionTarget& target,
                                 const NarrowCodec& codec) {
    ExtractionOutcome outcome;
    for (const std::string& name : names) {
        std::string path = includedFileTarget(tempDir, name);
        std::string directory = includedFileDirectory(tempDir, name, codec);
        if (!directory.empty()) {
            logMessage(u"creating directory %S", directory.c_str());
            if (!target.createDirectory(directory)) logError(u"failed to create directory %S", directory.c_str());
        }
        int64_t size = 0;
        if (!reader.readLong(size)) {
            outcome.sizeUnreadable = true;
            return outcome;
        }
        logMessage(u"extracting %S (size: %I64d)", path.c_str(), (long long)size);
        if (size <= 0) continue;  // no content, and no file
        std::unique_ptr<ByteSink> file = target.createFile(path);
        if (!file) {
            outcome.cannotCreate = true;
            return outcome;
        }
        outcome.code = copyIncludedContent(reader.source(), *file, size);
        if (outcome.code != 0) {
            logError(u"Failed to extract %S", path.c_str());
            return outcome;
        }
    }
    outcome.endPosition = reader.source().position();
    return outcome;
}

}  // namespace wl
