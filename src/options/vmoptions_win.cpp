// The Win32 half of the option assembly: the files, directories, environment
// and paths the decisions in optionsfile.cpp, classpath.cpp and vmoptions.cpp
// read, and the fatal end when a required class-path piece is missing.
#include "base/environment.h"
#include "base/handle.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/messages.h"
#include "config/store.h"
#include "files/executable.h"
#include "files/expand.h"
#include "files/paths.h"
#include "options/vmoptions.h"

namespace wl {
namespace {

// An options file read in pieces through its own handle, closed with it.
class OptionsFileSource final : public FileSource {
public:
    explicit OptionsFileSource(FileHandle file) : FileSource(file.get()), file_(std::move(file)) {}

private:
    FileHandle file_;
};

class WindowsOptionInputs final : public OptionInputs {
public:
    void expand(std::u16string& text, bool narrowForms) override { expandVariables(text, narrowForms); }
    void expandNarrow(std::string& text) override { expandVariablesNarrow(text); }
    std::string toNarrow(const std::u16string& text) override { return toNarrowPath(text); }

    std::u16string resolve(const std::u16string& path, const std::u16string* baseFile) override {
        return resolvePath(path, false, baseFile);
    }

    std::u16string fullFileName(const std::u16string& path) override {
        std::u16string full;
        if (!readSystemString(full, [&](wchar_t* b, DWORD n) { return GetFullPathNameW(W(path), n, b, nullptr); }))
            return path;
        return full;
    }

    std::optional<OpenedFile> openFile(const std::u16string& path) override {
        FileHandle file(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return std::nullopt;
        OpenedFile opened;
        opened.handle = file.get();
        opened.bytes = std::make_unique<OptionsFileSource>(std::move(file));
        return opened;
    }

    std::u16string modulePath() override { return modulePathWide(); }
    std::u16string moduleFileName() override { return moduleFileNameWide(); }

    std::string launcherDir() override { return launcherDirNarrow(); }
    const NarrowCodec& codec() override { return fileApiCodec(); }
    bool exists(const std::string& path) override { return pathExists(path); }

    std::vector<std::string> findFiles(const std::string& pattern) override {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        FindHandle find(FindFirstFileA(pattern.c_str(), &data));
        if (!find) return names;
        do {
            names.emplace_back(data.cFileName);
        } while (FindNextFileA(find.get(), &data));
        return names;
    }

    std::optional<std::string> environmentVariable(const std::string& name) override {
        return wl::environmentVariable(name.c_str());
    }

    bool createDirectory(const std::string& path) override {
        return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
    }

    bool removeFile(const std::string& path) override {
        // The JVM writes its archives read-only.
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    }

    // Entry 10003 made full against the narrow launcher directory, case kept.
    std::string installationDir() override {
        std::string resolved = composeResolvedPath(getConfigString(cfg::installationDirectory, kBufferSize),
                                                   launcherDirNarrow(), fileApiCodec());
        std::string full(kBufferSize, '\0');
        DWORD n = GetFullPathNameA(resolved.c_str(), DWORD(full.size()), full.data(), nullptr);
        if (n == 0 || n >= full.size()) return resolved;
        full.resize(n);
        collapseBackslashes(full, fileApiCodec());
        return full;
    }
};

}  // namespace

std::optional<PathFailure> traceVmOptions(const std::vector<std::string>& launcherProperties,
                                          const std::vector<std::u16string>& arguments, VmOptionList& list,
                                          OptionTrace& trace) {
    WindowsOptionInputs inputs;
    return assembleOptionList(inputs, launcherProperties, arguments, list, &trace);
}

void assembleVmOptions(JavaVMInitArgs& initArgs, const std::vector<std::string>& launcherProperties,
                       const std::vector<std::u16string>& arguments) {
    WindowsOptionInputs inputs;
    // Never freed: the JVM is handed pointers into both for as long as it runs.
    auto* texts = new VmOptionList;
    auto* options = new std::vector<JavaVMOption>;
    if (std::optional<PathFailure> failure = assembleOptionList(inputs, launcherProperties, arguments, *texts))
        fatalConfiguredError(failure->message, failure->argument);
    fillInitArgs(initArgs, *options, *texts);
}

}  // namespace wl
