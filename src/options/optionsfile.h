// Option lines and VM options files: the handler that turns every option line
// into a JVM option, a class-path override or an included file; the options
// file next to the executable; the configured and version-specific option
// lines; and the locale options the command line asks for.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "config/block.h"

namespace wl {

// The JVM options in the order they were handled; duplicates are kept, so a
// source handled later overrides an earlier one (narrow, file-API code page).
using VmOptionList = std::vector<std::string>;

// Class-path texts from option lines, used as written (after the line's
// expansion). Each holds the last line of its kind.
struct ClassPathOverrides {
    std::optional<std::string> replacement;  // "-classpath ": replaces the configured class path
    std::optional<std::string> suffix;       // "-classpath/a ": appended at the end
    std::optional<std::string> prefix;       // "-classpath/p ": put at the front
};

// A file opened for reading: the source of its bytes, read in pieces, and the
// handle it had (only for the log; null never occurs for an opened file). The
// file is closed when this goes.
struct OpenedFile {
    const void* handle = nullptr;
    std::unique_ptr<ByteSource> bytes;
};

// What the option assembly takes from the system. The Windows side gathers it
// from the file system and the environment; tests give it from memory.
// Files being read inside each other: more than this many at once is refused.
constexpr std::size_t kMaxIncludeDepth = 16;
// Includes read in one assembly, all files together: a file that includes
// another several times, on every level, would otherwise be read a number of
// times that grows exponentially with the depth.
constexpr std::size_t kMaxIncludedFiles = 256;
// What the lines of all options files of one assembly may add, each line
// counted with its expanded length plus kOptionsFileLineCost: a file that is
// no options file (a log named by mistake) would otherwise turn every one of
// its lines into an option, and its size into the launcher's memory.
constexpr std::size_t kMaxOptionsFileText = 4 * 1024 * 1024;

// The bounds of one assembly's options files: the launcher's are the ones
// above; a fuzz harness lowers them, so that small inputs reach them and an
// input is not read 256 times over.
struct OptionsFileBounds {
    std::size_t includeDepth = kMaxIncludeDepth;
    std::size_t includedFiles = kMaxIncludedFiles;
    std::size_t text = kMaxOptionsFileText;
};

class OptionInputs {
public:
    virtual ~OptionInputs() = default;

    // Variable expansion of a wide line (with or without the narrow forms of
    // the directories) and of a narrow class-path piece.
    virtual void expand(std::u16string& text, bool narrowForms) = 0;
    virtual void expandNarrow(std::string& text) = 0;
    // To the file-API code page; characters it cannot hold become "?".
    virtual std::string toNarrow(const std::u16string& text) = 0;

    // A relative path against the directory of baseFile, or against the wide
    // launcher directory without one.
    virtual std::u16string resolve(const std::u16string& path, const std::u16string* baseFile) = 0;
    // The full form of a file's name: the identity under which files being
    // read are tracked.
    virtual std::u16string fullFileName(const std::u16string& path) = 0;
    // Opens a file for reading; nothing when it cannot be opened.
    virtual std::optional<OpenedFile> openFile(const std::u16string& path) = 0;
    // The bounds of the assembly's options files.
    virtual OptionsFileBounds optionsFileBounds() const { return {}; }
    // The executable's long path, and its path as the system reports it.
    virtual std::u16string modulePath() = 0;
    virtual std::u16string moduleFileName() = 0;

    // The narrow launcher directory, with its trailing backslash.
    virtual std::string launcherDir() = 0;
    // The code page of the narrow paths (the file functions').
    virtual const NarrowCodec& codec() = 0;
    virtual bool exists(const std::string& path) = 0;
    // The names a directory search for the pattern returns, in its order.
    virtual std::vector<std::string> findFiles(const std::string& pattern) = 0;
    // An environment variable: nothing when it is not defined, "" when it is
    // defined but empty.
    virtual std::optional<std::string> environmentVariable(const std::string& name) = 0;
    // The installation directory as a full narrow path, case kept.
    virtual std::string installationDir() = 0;
    // Makes one directory; true when it exists afterwards.
    virtual bool createDirectory(const std::string& path) = 0;
    // Removes a file, read-only or not; true when it is gone afterwards.
    virtual bool removeFile(const std::string& path) = 0;
};

// Where an option of the list came from.
enum class OptionSource : uint8_t { Launcher, Configured, VersionSpecific, Locale, OptionsFile, JavaArgument, ClassPath };

// What became of one class-path or module-path piece.
enum class PathState : uint8_t {
    Found,
    Missing,   // added although it does not exist (optional archives and directories)
    Skipped,   // added nothing (an optional variable not set, an optional scan of no directory)
    Failed,    // required and not found: the launch ends
};

// One piece as configured ("A1lib\x.jar") or one override or archive by its
// name ("-classpath/a"), and what it appended, ";"-separated.
struct PathTraceEntry {
    int32_t list;  // the entry id (class path 121, module path 132)
    std::string piece;
    std::string added;
    PathState state;
};

// A record of one assembly, for /diagnose; the launch keeps none. Filled as
// the assembly decides, never consulted by it.
struct OptionTrace {
    // One per option of the final list, in its order: the source, and for
    // OptionSource::OptionsFile the file's index in files (else -1).
    struct Origin {
        OptionSource source;
        int32_t file;
    };
    std::vector<Origin> origins;
    // Options files opened, and includes that could not be opened.
    std::vector<std::pair<std::u16string, bool>> files;
    // The version-specific conditions looked at, and whether they matched.
    std::vector<std::pair<std::string, bool>> conditions;
    std::vector<PathTraceEntry> paths;
};

// The words for reports: "options file", "-J argument", "found", "skipped".
const char* optionSourceName(OptionSource source);
const char* pathStateName(PathState state);

// --- Portable decisions ---

// The longest line an options file holds; a longer one is read as several.
constexpr std::size_t kOptionsFileLineLimit = 29999;
// Options files are read in pieces of at most this size, whatever their size.
constexpr std::size_t kOptionsFileChunkSize = 64 * 1024;
constexpr std::size_t kOptionsFileLineCost = 32;

// Reads the kept lines of an options file one at a time, through a buffer of
// fixed size, so that memory does not grow with the file. The rules: CR LF is
// read as LF (text mode), a line holds at most 29999 bytes (a longer one is
// read as several), a line ends at its first NUL byte as a C string does,
// trailing CR and LF are removed, leading and trailing spaces (0x20 only) are
// removed, and empty lines and lines starting with "#" are dropped. No
// byte-order mark handling.
class OptionsFileReader {
public:
    explicit OptionsFileReader(ByteSource& source);
    // The next kept line; false at the end of the file, or when reading
    // failed (failed() then says so).
    bool next(std::string& line);
    bool failed() const { return failed_; }

private:
    bool rawLine(std::string& line);
    bool fill();

    ByteSource& source_;
    std::size_t chunkSize_;
    std::unique_ptr<char[]> chunk_;
    std::size_t at_ = 0, end_ = 0;
    bool ended_ = false, failed_ = false;
    std::string raw_;
};

// Byte-wise, case-sensitive, over the whole text: "?" one character, "*" any
// run including none.
bool wildcardMatch(std::string_view pattern, std::string_view text);

// The first number of the version, or the second when the first is 1 and a
// second exists (1.8.0_101 gives 8); -1 for a text without numbers.
int32_t majorVersion(std::string_view version);

// Whether a version-specific condition holds for the runtime's version and
// its major version: "*pattern" matched against the whole version, or
// "min-max" on the major version, both inclusive. Logs its decision.
bool versionConditionMatches(const std::string& condition, const std::string& version, int32_t major);

// Collects the options and overrides of one assembly.
class OptionCollector {
public:
    explicit OptionCollector(OptionInputs& inputs) : inputs_(inputs), bounds_(inputs.optionsFileBounds()) {}

    // "-include-options <path>" reads that file (relative to the directory of
    // baseFile, or to the launcher directory without one); "-classpath ",
    // "-classpath/p " and "-classpath/a " set the overrides; any other line
    // is one JVM option. A file already being read, one nested deeper than
    // the bounds' depth, or any beyond their count of includes, is skipped
    // with an error line.
    void handleOptionLine(const std::u16string* baseFile, const std::u16string& line);
    // Hands every kept line of an opened file to handleOptionLine, then
    // closes it. identity is the file's full name, tracked while it is read.
    // Lines beyond the bounds' text are skipped with an error line.
    void readOptionsFile(const std::u16string* baseFile, const std::u16string& identity,
                         std::optional<OpenedFile> file);
    // Words of a split option line; "-include-options" joins the next word.
    void handleOptionWords(const std::vector<std::u16string>& words);
    // The configured line, the first matching version-specific line and the
    // locale options, in that order.
    void addConfiguredOptions(const std::vector<std::u16string>& arguments);
    // The last "-Dsun.locale.formatasdefault=" argument becomes an option,
    // followed by the user's language and country unless it is "=true".
    void addLocaleOptions(const std::vector<std::u16string>& arguments);
    // Reads the options file next to the executable: app.vmoptions, then
    // app.exe.vmoptions, for the long path and then the reported path.
    void readDefaultOptionsFile();

    VmOptionList list;
    ClassPathOverrides overrides;
    // When set, every option added is recorded with its source: the options
    // file being read, else source.
    OptionTrace* trace = nullptr;
    OptionSource source = OptionSource::Configured;

private:
    void add(std::string option);
    void handleConfiguredLine(std::u16string line);

    OptionInputs& inputs_;
    const OptionsFileBounds bounds_;
    std::vector<std::u16string> reading_;  // full names of the files being read, outermost first
    std::size_t included_ = 0;             // includes read so far
    std::size_t fileText_ = 0;             // what options files added so far (bounds_.text)
};

}  // namespace wl
