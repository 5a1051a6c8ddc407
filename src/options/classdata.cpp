#include "options/classdata.h"

#include "base/little_endian.h"
#include "base/process_state.h"
#include "base/text.h"
#include "config/entries.h"
#include "config/store.h"
#include "diag/log.h"
#include "files/paths.h"

namespace wl {
namespace {

bool startsWith(std::u16string_view text, std::u16string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// FNV-1a, 64 bits: it names the archive, no security depends on it.
constexpr uint64_t kHashStart = 0xcbf29ce484222325u;
constexpr uint64_t hashStep(uint64_t hash, uint8_t byte) { return (hash ^ byte) * 0x100000001b3u; }

}  // namespace

ClassDataSharing parseClassDataSharing(std::string_view value) {
    if (value == "off") return ClassDataSharing::Off;
    if (value == "on") return ClassDataSharing::On;
    if (!value.empty() && value != "auto") logError(u"classDataSharing %S is not auto, off or on; auto is used",
                                                    std::string(value).c_str());
    return ClassDataSharing::Auto;
}

bool changesClassPath(std::u16string_view line) {
    // The launcher's own overrides, then the JVM's and the java tool's spellings.
    for (std::u16string_view prefix : {u"-classpath ", u"-classpath/p ", u"-classpath/a ", u"-Djava.class.path=",
                                       u"-cp", u"-classpath", u"--class-path", u"--module-path", u"-p ",
                                       u"--upgrade-module-path", u"--patch-module", u"-Djdk.module.path=",
                                       u"-Djdk.module.upgrade.path=", u"-Xbootclasspath"})
        if (startsWith(line, prefix)) return true;
    return line == u"-p";
}

bool namesClassDataSharing(const std::vector<std::string>& options) {
    for (const std::string& option : options)
        for (std::string_view prefix : {"-Xshare:", "-XX:SharedArchiveFile=", "-XX:ArchiveClassesAtExit=",
                                        "-XX:+AutoCreateSharedArchive", "-XX:-AutoCreateSharedArchive",
                                        "-XX:SharedClassListFile=", "-XX:DumpLoadedClassList="})
            if (startsWith(option, prefix)) return true;
    return false;
}

std::u16string classDataArchiveName(const std::u16string& executable, const std::string& jvmHome,
                                    const std::string& javaVersion, const std::string& classPathOption) {
    std::u16string exe = executable;
    lowercaseAscii(exe);
    uint64_t hash = kHashStart;
    for (char16_t c : exe) hash = hashStep(hashStep(hash, uint8_t(c)), uint8_t(c >> 8));
    for (const std::string* part : {&jvmHome, &javaVersion, &classPathOption}) {
        hash = hashStep(hash, 0xff);  // between the parts: "ab" + "c" differs from "a" + "bc"
        for (char c : *part) hash = hashStep(hash, uint8_t(c));
    }
    std::u16string name = executable.substr(executable.find_last_of(u"\\/:") + 1);
    if (name.size() > 4 && asciiLower(name[name.size() - 4]) == u'.') name.resize(name.size() - 4);
    if (name.empty()) name = u"app";
    name += u'-';
    for (int shift = 60; shift >= 0; shift -= 4) name += u"0123456789abcdef"[(hash >> shift) & 0xf];
    return name + u".jsa";
}

std::string classDataArchiveDirectory(const std::optional<std::string>& localAppData, const NarrowCodec& codec) {
    if (!localAppData || localAppData->empty()) return {};
    std::string dir = *localAppData;
    if (!endsWithBackslash(dir, codec)) dir += '\\';
    return dir + "vennic\\cds\\";
}

ArchiveState checkClassDataArchive(std::string_view header, uint64_t fileSize, bool layout64) {
    // The dynamic archive's header: magic, CRC, version, then its regions
    // (read-write, read-only, bitmap; the heap regions stay empty), each
    // 72 bytes with the file offset at 24 and the used size at 40.
    constexpr uint32_t kDynamicMagic = 0xf00baba8;
    constexpr uint32_t kVersion = 11;
    constexpr std::size_t kRegions = 0x10, kRegionSize = 0x48, kRegionCount = 5;
    if (header.size() < 12 || le32At(header, 0) != kDynamicMagic) return ArchiveState::Damaged;
    if (!layout64 || le32At(header, 8) != kVersion) return ArchiveState::UnknownLayout;
    if (header.size() < kRegions + kRegionCount * kRegionSize) return ArchiveState::Damaged;
    for (std::size_t i = 0; i < kRegionCount; ++i) {
        const std::size_t region = kRegions + i * kRegionSize;
        const uint64_t offset = le64At(header, region + 0x18), used = le64At(header, region + 0x28);
        if (offset > fileSize || used > fileSize - offset) return ArchiveState::Damaged;
    }
    return ArchiveState::Complete;
}

std::vector<std::string> classDataSharingOptions(const ClassDataSharingCase& c) {
    const char* skipped = nullptr;
    if (c.setting == ClassDataSharing::Off) {
        skipped = "switched off";
    } else if (c.javaMajor < 13) {
        skipped = "the runtime cannot write an archive";
    } else if (c.javaMajor < 19 && (c.javaMajor != 17 || !c.layout64)) {
        // These map an archive unchecked, and its layout is not known here.
        skipped = "the runtime's archives cannot be checked";
    } else if (!c.baseArchive) {
        skipped = "the runtime has no archive of its own";
    } else if (c.userChoosesSharing) {
        skipped = "the options choose it";
    } else if (c.classPathChanged) {
        skipped = "a -J option changes the class path";
    } else if (c.userOptionsFile && c.setting == ClassDataSharing::Auto) {
        skipped = "the user's options file gives options";
    } else if (c.archive.empty()) {
        skipped = "no local application data";
    } else if (c.archive.find('?') != std::string::npos) {
        skipped = "the archive's path has no narrow form";
    }
    if (skipped) {
        logMessage(u"class-data sharing: none, %S", skipped);
        return {};
    }
    const std::string& archive = c.archive;
    if (c.javaMajor >= 19) {
        logMessage(u"class-data sharing: archive %S, created and refreshed by the JVM", archive.c_str());
        return {"-Xshare:auto", "-XX:+AutoCreateSharedArchive", "-XX:SharedArchiveFile=" + archive};
    }
    if (c.archiveExists && c.archiveState == ArchiveState::UnknownLayout) {
        logMessage(u"class-data sharing: none, archive %S of a layout not checked", archive.c_str());
        return {};
    }
    if (c.archiveExists && c.archiveState == ArchiveState::Complete) {
        logMessage(u"class-data sharing: using archive %S", archive.c_str());
        return {"-Xshare:auto", "-XX:SharedArchiveFile=" + archive};
    }
    logMessage(c.archiveExists ? u"class-data sharing: archive %S damaged, written anew at exit"
                               : u"class-data sharing: writing archive %S at exit",
               archive.c_str());
    return {"-Xshare:auto", "-XX:ArchiveClassesAtExit=" + archive};
}

ArchiveState readArchiveState(OptionInputs& inputs, const std::string& archive) {
    std::optional<OpenedFile> file = inputs.openFile(inputs.codec().widen(archive));
    if (!file || !file->bytes) return ArchiveState::Damaged;
    std::string header(kArchiveHeaderBytes, '\0');
    uint32_t got = 0;
    if (!file->bytes->read(header.data(), uint32_t(header.size()), got)) return ArchiveState::Damaged;
    header.resize(got);
    return checkClassDataArchive(header, file->bytes->size(), sizeof(void*) == 8);
}

void addClassDataSharingOptions(OptionInputs& inputs, bool userOptionsFile, bool classPathChanged,
                                VmOptionList& list, bool prepare) {
    ClassDataSharingCase c;
    c.setting = parseClassDataSharing(getConfigString(cfg::classDataSharing, kBufferSize));
    if (c.setting == ClassDataSharing::Off) {
        classDataSharingOptions(c);
        return;
    }
    c.javaMajor = javaVersion.empty() ? -1 : majorVersion(javaVersion);
    c.userOptionsFile = userOptionsFile;
    c.classPathChanged = classPathChanged;
    c.userChoosesSharing = namesClassDataSharing(list);
    c.baseArchive = !jvmHome.empty() && (inputs.exists(jvmHome + "\\bin\\server\\classes.jsa") ||
                                         inputs.exists(jvmHome + "\\bin\\client\\classes.jsa"));
    const std::string dir = classDataArchiveDirectory(inputs.environmentVariable("LOCALAPPDATA"), inputs.codec());
    if (!dir.empty() && c.baseArchive && c.javaMajor >= 13) {
        std::string paths;
        for (const std::string& option : list)
            if (option.starts_with("-Djava.class.path=") || option.starts_with("--module-path=")) paths += option + '\n';
        c.archive = dir + inputs.toNarrow(classDataArchiveName(inputs.modulePath(), jvmHome, javaVersion, paths));
        c.archiveExists = inputs.exists(c.archive);
        if (c.archiveExists && c.javaMajor < 19) c.archiveState = readArchiveState(inputs, c.archive);
    }
    std::vector<std::string> options = classDataSharingOptions(c);
    if (options.empty()) return;
    if (!prepare) {  // a launch only explained: nothing is made or removed
        list.insert(list.end(), options.begin(), options.end());
        return;
    }
    // The JVM writes the archive but makes no directory for it.
    std::string parent = dir.substr(0, dir.size() - 5);  // without "\\cds\\"
    inputs.createDirectory(parent);
    if (!inputs.createDirectory(dir.substr(0, dir.size() - 1))) {
        logMessage(u"class-data sharing: none, %S cannot be made", dir.c_str());
        return;
    }
    // A damaged archive goes first: the JVM writes its archives read-only,
    // and on Windows it could not write over one.
    if (c.archiveExists && c.archiveState == ArchiveState::Damaged && c.javaMajor < 19 &&
        !inputs.removeFile(c.archive)) {
        logMessage(u"class-data sharing: none, damaged archive %S cannot be removed", c.archive.c_str());
        return;
    }
    list.insert(list.end(), options.begin(), options.end());
}

}  // namespace wl
