#include "files/extract.h"

#include <algorithm>
#include <string_view>

#include "base/text.h"
#include "diag/log.h"

namespace wl {
namespace {

// Names that Windows maps to devices in any directory, with or without an
// extension: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (also with
// the superscript digits 1, 2 and 3 of the ANSI code pages).
bool isDeviceName(std::string_view component) {
    std::string stem(component.substr(0, component.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = asciiUpper(c);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (stem == device) return true;
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0)) {
        unsigned char digit = static_cast<unsigned char>(stem[3]);
        return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

// The byte offsets at which the name's separators ("\\" or "/") stand, by
// characters; by bytes only for a name without an exact wide form.
std::vector<std::size_t> separatorOffsets(const std::string& name, const NarrowCodec& codec) {
    std::vector<std::size_t> offsets;
    std::optional<std::u16string> wide = exactWideForm(name, codec);
    if (!wide) {
        for (std::size_t i = 0; i < name.size(); ++i)
            if (name[i] == '\\' || name[i] == '/') offsets.push_back(i);
        return offsets;
    }
    for (std::size_t i = 0; i < wide->size(); ++i)
        if ((*wide)[i] == u'\\' || (*wide)[i] == u'/')
            offsets.push_back(codec.narrow(std::u16string_view(*wide).substr(0, i), nullptr).size());
    return offsets;
}

}  // namespace

std::string checkIncludedFileName(const std::string& name, const NarrowCodec& codec) {
    if (name.empty()) return "is empty";
    for (unsigned char c : name) {
        if (c < 0x20 || std::string_view("<>\"|?*").find(char(c)) != std::string_view::npos)
            return "contains a character that Windows does not allow in names";
    }
    if (name.find(':') != std::string::npos) return "names a drive or a stream";
    if (name[0] == '\\' || name[0] == '/') return "is absolute";
    std::vector<std::size_t> ends = separatorOffsets(name, codec);
    ends.push_back(name.size());
    std::size_t start = 0;
    for (std::size_t end : ends) {
        std::string_view component = std::string_view(name).substr(start, end - start);
        if (component.empty()) return "has an empty path component";
        if (component == "." || component == "..") return "leaves the directory with \"..\" or \".\"";
        // Windows drops trailing dots and spaces, so "..." or ".. " would
        // become something else than what is written.
        if (component.back() == '.' || component.back() == ' ') return "has a component ending in a dot or a space";
        if (isDeviceName(component)) return "names a device";
        start = end + 1;
    }
    return {};
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
