// The executable's own paths in wide and narrow form, conversion to the narrow
// code page of the file functions, and resolution of relative paths against
// the launcher directory.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/text.h"

namespace wl {

// --- Portable decisions ---

// Shrinks every run of backslashes to one, except a leading pair (UNC).
void collapseBackslashes(std::u16string& path);
// The same on a narrow path, worked on in its wide form through the codec; the
// result is copied over the path only when it converts back without loss. A
// path without an exact wide form is left as it is.
void collapseBackslashes(std::string& path, const NarrowCodec& codec);

// Absolute means "X:\..." or "\\..." (after one optional leading quote);
// everything else, including "C:/x", "C:x" and "\x", is relative.
bool isRelativePath(const std::u16string& path);
bool isRelativePath(const std::string& path);

// At least five characters, the last four ".exe" in any case.
bool endsWithExe(const std::string& path);

// A drive root: the part after the first character is ":\", ":\." or ":\.\.".
bool isDriveRoot(const std::u16string& path);
bool isDriveRoot(const std::string& path);

// Lower-cases A-Z only.
void lowercaseAscii(std::u16string& path);

// A relative path is put behind baseDir; the result has its backslash runs
// collapsed. An empty path therefore yields baseDir itself.
std::u16string composeResolvedPath(const std::u16string& path, const std::u16string& baseDir);
std::string composeResolvedPath(const std::string& path, const std::string& baseDir, const NarrowCodec& codec);

// The directory part of a full file name, up to and including its last "\" or
// "/"; empty when there is none. A narrow name is scanned in its wide form
// (by bytes only when it has no exact one, as nothing tells its characters).
std::u16string directoryOf(const std::u16string& fullName);
std::string directoryOf(const std::string& fullName, const NarrowCodec& codec);

// Whether a narrow path's last character is a backslash (not merely its last
// byte, which may end a double-byte character).
bool endsWithBackslash(const std::string& path, const NarrowCodec& codec);

// A narrow candidate for the executable's path: the text, or nothing when it
// could not be had, and whether its conversion lost characters.
struct NarrowCandidate {
    std::optional<std::string> text;
    bool lossy = false;
};

// Picks the narrow module path: the first of the long form, the short form and
// the command interpreter's answer that converts without loss and ends in
// ".exe"; otherwise the last resort. Candidates are asked for only when needed.
std::string chooseNarrowModulePath(const std::function<NarrowCandidate()>& longForm,
                                   const std::function<NarrowCandidate()>& shortForm,
                                   const std::function<std::optional<std::string>()>& viaCommandInterpreter,
                                   const std::function<std::optional<std::string>()>& lastResort);

// The text the command interpreter printed, turned into a short path: with
// exit code 0 and more than 5 bytes, the text up to the first CR or LF;
// nothing without a line end or with another exit code.
std::optional<std::string> shortPathFromCmdOutput(const std::string& output, uint32_t exitCode);

// --- Windows side ---

// Converts to the code page of the file functions; unmappable characters
// become "?" and set lossy. An impossible conversion gives "" and lossy.
std::string toNarrowPath(const std::u16string& path, bool* lossy = nullptr);
// Widens with the code page of the file functions.
std::u16string fromNarrowPath(const std::string& path);

const std::u16string& modulePathWide();
const std::string& modulePathNarrow();
// Directories of the two module paths, with their trailing backslash; the
// narrow one also widened with the code page of the file functions.
const std::string& launcherDirNarrow();
const std::u16string& launcherDirNarrowAsWide();
const std::u16string& launcherDirWide();

// Asks cmd.exe for the 8.3 form of a path; nothing when it gives no answer.
std::optional<std::string> shortPathViaCmd(const std::u16string& path);

// A relative path is taken against the directory of baseFile when given, else
// against the launcher directory (its narrow form, widened, when useNarrowDir).
std::u16string resolvePath(const std::u16string& path, bool useNarrowDir,
                           const std::u16string* baseFile = nullptr);
// resolvePath, made full, lower-cased unless keepCase, backslashes collapsed.
std::u16string fullPath(const std::u16string& path, bool useNarrowDir, bool keepCase);

// The installation directory: entry 10003 made full against the launcher
// directory, case kept. It holds the runtime's own subdirectory.
std::u16string installationDir();

bool pathExists(const std::u16string& path);
bool pathExists(const std::string& path);
// The directory search alone decides; gives the entry's last-write time.
bool pathExists(const std::string& path, int64_t& lastWriteTime);

}  // namespace wl
