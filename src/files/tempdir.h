// Temporary directories: the base directory, found by probing a fixed list of
// candidates for write access; unique temporary file names in it; the per-run
// directory that receives the included files, and its clean-up.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace wl {

// --- Portable decisions ---

// Where a candidate for the base temporary directory comes from.
enum class TempSource : uint8_t {
    TempPath,           // GetTempPath
    UserProfileTemp,    // %USERPROFILE%\AppData\Local\Temp
    HomeDrivePath,      // %HOMEDRIVE%%HOMEPATH% (both must be set)
    CommonAppDataTemp,  // common application data folder \quarlo\temp
    WindowsTemp,        // Windows directory \temp
    CTemp,              // c:\temp
    CTmp,               // c:\tmp
    WindowsDir,         // the Windows directory itself
};

struct TempCandidateRow {
    TempSource source;
    bool createFirst;            // create the directory before probing it
    bool rejectUnrepresentable;  // refuse a long form that holds "?"
    bool longFormIfConfigured;   // narrow search: adopt the long form when the setting asks for it
};

// The twelve candidates in the order they are tried. Rows 10 to 12 give the
// first three a second chance without the test for unrepresentable characters.
const std::array<TempCandidateRow, 12>& tempCandidateRows();

// Tries the rows in order: candidate() gives the row's text (nothing when its
// source is unavailable, which skips the row), usable() checks it and may
// replace it (by its long form). The first usable candidate is the result.
std::optional<std::string> searchTempCandidates(
    const std::function<std::optional<std::string>(const TempCandidateRow&)>& candidate,
    const std::function<bool(std::string&, const TempCandidateRow&)>& usable);
std::optional<std::u16string> searchTempCandidates(
    const std::function<std::optional<std::u16string>(const TempCandidateRow&)>& candidate,
    const std::function<bool(std::u16string&, const TempCandidateRow&)>& usable);

// What the narrow search does with a candidate's long form (nothing when the
// system could not give one): reject it when it holds "?" and unrepresentable
// characters are refused, adopt it when asked to and it differs and fits the
// 6000-byte buffer, keep the candidate otherwise.
enum class LongFormVerdict : uint8_t { Keep, Reject, Adopt };
LongFormVerdict judgeLongForm(const std::string& candidate, const std::optional<std::string>& longForm,
                              bool rejectUnrepresentable, bool adoptLongForm);

// The first number the C runtime's generator draws after being seeded.
int firstRandom(uint32_t seed);
// The seed of the probe and of the fallback file name: the low 32 bits of
// seconds since 1970 times the process id.
uint32_t tempRandomSeed(int64_t secondsSince1970, uint32_t processId);

// "<candidate>\vektw<pid><r>": the directory the writability probe creates.
std::string probeDirectoryName(const std::string& candidate, uint32_t processId, int random);
std::u16string probeDirectoryName(const std::u16string& candidate, uint32_t processId, int random);

// "<dir>[\]vek<r>": the file name used when the system cannot make one.
std::string fallbackTempFileName(const std::string& directory, int random, const NarrowCodec& codec);

// "<tempFile>_dir<seconds>", the seconds on their low 32 bits.
std::string launcherTempDirName(const std::string& tempFile, int64_t secondsSince1970);

// Up to ten attempts to create the per-run directory, each with a fresh
// temporary file name. Gives the directory, or nothing after ten failures.
std::optional<std::string> createLauncherTempDirWith(
    const std::function<std::string()>& makeTempFile, const std::function<int64_t()>& secondsSince1970,
    const std::function<bool(const std::string&, uint32_t& error)>& createDirectory);

// The file system as the clean-up sees it.
struct DirectoryEntry {
    std::string name;
    bool isDirectory;
    bool isLink = false;  // a junction or symbolic link: removed, never entered
};
struct DirectoryOps {
    std::function<std::vector<DirectoryEntry>(const std::string& pattern)> list;  // "." and ".." included
    std::function<void(const std::string&)> removeDirectory;
    std::function<void(const std::string&)> deleteFile;
    // The code page of the paths; the Windows side gives the file functions'.
    const NarrowCodec* codec = &kByteCodec;
};

// Deletes the files of a directory; each subdirectory is removed, and with
// recurse it is emptied first one level down (without recursing further), so
// anything nested deeper stays behind with its parents. A path that is empty or
// starts with "." is left alone.
void emptyDirectoryWith(const std::string& path, bool recurse, const DirectoryOps& ops);

// The clean-up of the per-run directory: emptied as emptyDirectoryWith with
// recurse, then removed. A per-run directory that is itself a link or junction
// is left alone: what it leads to is not the launcher's.
void removeRunDirectoryWith(const std::string& path, bool isLink, const DirectoryOps& ops);

// Whether an entry, by the system's final path of what its name reaches, lies
// directly in its directory (by the directory's final path). A link the
// system does not mark as one, such as a Unix symbolic link under Wine,
// reaches its target, and removing it would remove the target instead.
bool liesDirectlyIn(std::u16string_view entryFinal, std::u16string_view directoryFinal);

// --- Windows side ---

// The narrow base temporary directory, as the search left it (with or without
// a trailing backslash). Never empty: without a usable candidate the launch
// ends with message 1015. Searched once, then cached.
std::string baseTempDir();
// The wide form, searched and cached independently. Without a usable
// candidate: ends the launch when fatalIfNone, else gives "" (and searches
// again next time).
std::u16string baseTempDirWide(bool fatalIfNone);

// The writability probe: creates and removes a test directory in the candidate.
bool isUsableTempDir(const std::string& candidate);
bool isUsableTempDir(const std::u16string& candidate);

// A unique narrow file name in the base temporary directory. The system
// creates the (empty) file, which is left in place.
std::string makeTempFileName();

// Creates launcherTempDir and registers its removal with exitLauncher; ends
// the launch with message 1009 "7" after ten failed attempts.
void createLauncherTempDir();

// Empties and removes launcherTempDir when it is set. Errors are ignored.
void removeLauncherTempDir();

// The name of a new log file: the first free qar_nlog_<n>.log in the wide base
// temporary directory, or in "c:\" when there is none, since the log never
// ends the launch.
std::u16string newLogFileName();

// emptyDirectoryWith on the real file system.
void emptyDirectory(const std::string& path, bool recurse);

}  // namespace wl
