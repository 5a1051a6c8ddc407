// The Win32 half of the extraction: the executable as the source, files in
// the per-run directory as the targets.
#include "base/handle.h"
#include "base/process_state.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/messages.h"
#include "config/store.h"
#include "diag/log.h"
#include "files/executable.h"
#include "files/extract.h"
#include "files/tempdir.h"

namespace wl {
namespace {

class FileSink : public ByteSink {
public:
    explicit FileSink(FileHandle file) : file_(std::move(file)) {}
    bool write(const void* buffer, uint32_t count, uint32_t& written) override {
        DWORD n = 0;
        BOOL ok = WriteFile(file_.get(), buffer, count, &n, nullptr);
        if (!ok) error_ = GetLastError();
        written = n;
        return ok != FALSE;
    }
    uint32_t lastError() const override { return error_; }

private:
    FileHandle file_;
    uint32_t error_ = 0;
};

class FileSystemTarget : public ExtractionTarget {
public:
    bool createDirectory(const std::string& path) override {
        return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
    }
    std::unique_ptr<ByteSink> createFile(const std::string& path) override {
        FileHandle file(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            logError(u"could not create %S (%d)", path.c_str(), int(GetLastError()));
            return nullptr;
        }
        return std::make_unique<FileSink>(std::move(file));
    }
};

[[noreturn]] void cannotCreate() { fatalConfiguredError(cfg::internalError, std::string("11")); }

}  // namespace

int extractIncludedFiles() {
    logMessage(u"extracting files");
    int32_t count = getConfigInt(cfg::includedFileCount);
    logMessage(u"Included files: %d", int(count));
    if (count == 0) {
        launcherTempDir.clear();
        return 0;
    }

    std::vector<std::string> names = splitIncludedFileNames(dupConfigString(cfg::includedFileNames));
    if (count < 0) names.clear();
    if (names.size() > std::size_t(count)) names.resize(std::size_t(count));
    // Every name is checked before anything is written: a name that would
    // land outside the per-run directory, or on the file of an earlier name,
    // ends the launch with nothing created.
    if (std::optional<RefusedName> refused = findRefusedIncludedName(names, fileApiCodec())) {
        logError(u"included file name \"%S\" %S; nothing is extracted", names[refused->index].c_str(),
                 refused->problem.c_str());
        cannotCreate();
    }

    createLauncherTempDir();
    FileHandle executable = openOwnExecutable();
    FileSource source(executable.get());
    BlockReader reader(source);
    reader.seek(int64_t(configBlockEnd));
    FileSystemTarget target;
    ExtractionOutcome outcome = extractRecords(reader, launcherTempDir, names, target, fileApiCodec());
    if (outcome.sizeUnreadable) fatalError(reader.failure());
    if (outcome.cannotCreate) cannotCreate();
    if (outcome.code != 0) return outcome.code;
    unextractedPosition = uint32_t(outcome.endPosition);
    executable.reset();
    logMessage(u"extracting files done");
    return 0;
}

}  // namespace wl
