// The Win32 half of the extraction: the executable as the source, files in
// the per-run directory as the targets.
#include "base/handle.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/reader.h"
#include "config/store.h"
#include "diag/log.h"
#include "diag/message.h"
#include "files/extract.h"
#include "files/tempdir.h"
#include "launcher/process_state.h"

namespace wl {
namespace {

class FileSink : public ByteSink {
public:
    explicit FileSink(HANDLE file) : file_(file) {}
    bool write(const void* buffer, uint32_t count, uint32_t& written) override {
        DWORD n = 0;
        BOOL ok = WriteFile(file_, buffer, count, &n, nullptr);
        if (!ok) error_ = GetLastError();
        written = n;
        return ok != FALSE;
    }
    uint32_t lastError() const override { return error_; }

private:
    HANDLE file_;
    uint32_t error_ = 0;
};

[[noreturn]] void cannotCreate() { fatalConfiguredError(cfg::internalError, std::string("11")); }

int extractRecord(BlockReader& reader, const std::string& target) {
    int64_t size = 0;
    if (!reader.readLong(size)) fatalError(reader.failure());
    logMessage(u"extracting %S (size: %I64d)", target.c_str(), (long long)size);
    if (size <= 0) return 0;
    FileHandle file(
        CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        logError(u"could not create %S (%d)", target.c_str(), int(GetLastError()));
        cannotCreate();
    }
    FileSink sink(file.get());
    return copyIncludedContent(reader.source(), sink, size);
}

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
    if (count > 0 && names.size() > std::size_t(count)) names.resize(std::size_t(count));
    if (count < 0) names.clear();
    // Every name is checked before anything is written: a name that would
    // land outside the per-run directory ends the launch with nothing created.
    for (const std::string& name : names) {
        std::string problem = checkIncludedFileName(name);
        if (!problem.empty()) {
            logError(u"included file name \"%S\" %S; nothing is extracted", name.c_str(), problem.c_str());
            cannotCreate();
        }
    }

    createLauncherTempDir();
    FileHandle executable = openOwnExecutable();
    FileSource source(executable.get());
    BlockReader reader(source);
    reader.seek(int64_t(configBlockEnd));
    for (const std::string& name : names) {
        std::string target = includedFileTarget(launcherTempDir, name);
        std::string directory = includedFileDirectory(launcherTempDir, name);
        if (!directory.empty()) {
            logMessage(u"creating directory %S", directory.c_str());
            if (!CreateDirectoryA(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
                logError(u"failed to create directory %S", directory.c_str());
        }
        int result = extractRecord(reader, target);
        if (result != 0) {
            logError(u"Failed to extract %S", target.c_str());
            return result;
        }
    }
    unextractedPosition = uint32_t(source.position());
    executable.reset();
    logMessage(u"extracting files done");
    return 0;
}

}  // namespace wl
