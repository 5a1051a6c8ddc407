// Class-data sharing: an archive of the application's loaded classes that
// the JVM maps at start instead of parsing the classes again. One archive per
// application, per runtime and per user, in the user's local application
// data; the JVM checks it (class path, runtime build, integrity) and with
// -Xshare:auto runs without it when it does not fit, so a damaged, stale or
// foreign archive never stops the application.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "options/optionsfile.h"

namespace wl {

// --- Portable decisions ---

// The setting classDataSharing: "auto" (also empty or unknown), "off", "on".
enum class ClassDataSharing : uint8_t { Auto, Off, On };
ClassDataSharing parseClassDataSharing(std::string_view value);

// Whether an option line given with "-J" changes the class or module path
// (then no archive is made or used: it would be built for other classes).
bool changesClassPath(std::u16string_view line);

// Whether the options already choose for class-data sharing themselves.
bool namesClassDataSharing(const std::vector<std::string>& options);

// The archive's file name, "<executable's name>-<16 hex digits>.jsa", the
// digits a hash of the executable's path (case not counted), the runtime's
// home and version and the class-path option. It is kept in
// <local application data>\vennic\cds\ (classDataArchiveDirectory, empty
// without local application data).
std::u16string classDataArchiveName(const std::u16string& executable, const std::string& jvmHome,
                                    const std::string& javaVersion, const std::string& classPathOption);
std::string classDataArchiveDirectory(const std::optional<std::string>& localAppData, const NarrowCodec& codec);

// What the start of an existing archive (at most kArchiveHeaderBytes) and its
// size say. Java 13 to 18 map the archive without checking that the file
// holds its regions: a truncated archive ends the JVM with a bus error, so the
// launcher checks them itself where it knows the layout (HotSpot 17's, header
// version 11, 64-bit), and leaves other layouts alone.
enum class ArchiveState : uint8_t { Complete, Damaged, UnknownLayout };
inline constexpr std::size_t kArchiveHeaderBytes = 512;
ArchiveState checkClassDataArchive(std::string_view header, uint64_t fileSize, bool layout64);

struct ClassDataSharingCase {
    ClassDataSharing setting = ClassDataSharing::Auto;
    int32_t javaMajor = -1;          // -1: not known
    bool userOptionsFile = false;    // the user's options file next to the executable added options
    bool classPathChanged = false;   // a "-J" argument changed the class or module path
    bool userChoosesSharing = false; // the options name class-data sharing already
    bool baseArchive = false;        // the runtime has its own archive (bin\server\classes.jsa), which
                                     // the application's archive extends: HotSpot, built with sharing
    std::string archive;             // the archive's path; empty: none can be named
    bool archiveExists = false;
    bool layout64 = sizeof(void*) == 8;  // a 64-bit runtime (the launcher's own width)
    ArchiveState archiveState = ArchiveState::Complete;  // of an existing archive, for Java 13 to 18
};

// The options to add, none when the run is left without an archive; the log
// says why. Java 19 and later create and refresh the archive themselves
// (-XX:+AutoCreateSharedArchive); Java 17 (64-bit) writes it at the end of a
// run that has none or a damaged one (-XX:ArchiveClassesAtExit) and maps it
// afterwards; Java 13 to 16 and 18, whose archives cannot be checked, run
// without. "auto"
// leaves a run whose user's options file gave options to the user; "on" adds
// the options there too. Never over the user's own sharing options, never
// with a changed class path, never with "off".
std::vector<std::string> classDataSharingOptions(const ClassDataSharingCase& c);

// Gathers the case through inputs (the setting, the selected runtime, the
// local application data, the options so far), creates the archive's
// directory when options are added, and appends them to the list.
// With prepare false (a launch that is only explained) the options are added
// but the archive's directory is not made and a damaged archive not removed.
void addClassDataSharingOptions(OptionInputs& inputs, bool userOptionsFile, bool classPathChanged,
                                VmOptionList& list, bool prepare = true);

}  // namespace wl
