// The Win32 half of the temporary directories: gathers the candidates, probes
// them, and creates and removes the per-run directory.
#include "base/environment.h"
#include "base/handle.h"
#include "base/procaddress.h"
#include "base/process_state.h"
#include "base/text.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/messages.h"
#include "config/store.h"
#include "diag/log.h"
#include "diag/message.h"
#include "files/paths.h"
#include "files/tempdir.h"

namespace wl {
namespace {

using GetFolderPathA = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
using GetFolderPathW = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
constexpr int kCommonAppDataFolder = 0x23;

// The shell folder functions, looked up the first time either search needs them.
struct ShellFolders {
    bool looked = false;
    GetFolderPathA narrow = nullptr;
    GetFolderPathW wide = nullptr;
};

ShellFolders& shellFolders() {
    static ShellFolders folders;
    if (!folders.looked) {
        folders.looked = true;
        HMODULE shell = LoadLibraryW(L"shell32.dll");
        folders.narrow = lookupFunction<GetFolderPathA>(shell, "SHGetFolderPathA");
        folders.wide = lookupFunction<GetFolderPathW>(shell, "SHGetFolderPathW");
    }
    return folders;
}

std::optional<std::string> narrowCache;
std::optional<std::u16string> wideCache;

int64_t secondsSince1970() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    uint64_t ticks = uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
    return int64_t(ticks / 10000000u) - 11644473600LL;
}

int probeRandom() { return firstRandom(tempRandomSeed(secondsSince1970(), GetCurrentProcessId())); }

// A candidate's source must fit the 6000-byte path buffer.
std::optional<std::string> environmentNarrow(const char* name) {
    std::optional<std::string> value = nonEmptyEnvironmentVariable(name);
    if (value && value->size() >= kBufferSize) return std::nullopt;
    return value;
}

std::optional<std::u16string> environmentWide(const char16_t* name) {
    std::optional<std::u16string> value = nonEmptyEnvironmentVariable(name);
    if (!value) return std::nullopt;
    return fitToCapacity(*value, kBufferSize);
}

std::optional<std::string> narrowCandidate(const TempCandidateRow& row) {
    char buffer[kBufferSize];
    switch (row.source) {
    case TempSource::TempPath: {
        DWORD n = GetTempPathA(sizeof buffer, buffer);
        if (n == 0 || n >= sizeof buffer) return std::nullopt;
        return std::string(buffer, n);
    }
    case TempSource::UserProfileTemp: {
        std::optional<std::string> profile = environmentNarrow("USERPROFILE");
        if (!profile) return std::nullopt;
        return *profile + "\\AppData\\Local\\Temp";
    }
    case TempSource::HomeDrivePath: {
        std::optional<std::string> drive = environmentNarrow("HOMEDRIVE");
        std::optional<std::string> path = environmentNarrow("HOMEPATH");
        if (!drive || !path) return std::nullopt;
        return *drive + *path;
    }
    case TempSource::CommonAppDataTemp: {
        GetFolderPathA get = shellFolders().narrow;
        char folder[MAX_PATH];
        if (!get || get(nullptr, kCommonAppDataFolder, nullptr, 0, folder) != S_OK || !folder[0]) return std::nullopt;
        std::string quarlo = std::string(folder) + "\\quarlo";
        CreateDirectoryA(quarlo.c_str(), nullptr);
        return quarlo + "\\temp";
    }
    case TempSource::WindowsTemp:
    case TempSource::WindowsDir: {
        UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return std::nullopt;
        std::string dir(buffer, n);
        return row.source == TempSource::WindowsTemp ? dir + "\\temp" : dir;
    }
    case TempSource::CTemp:
        return std::string("c:\\temp");
    case TempSource::CTmp:
        return std::string("c:\\tmp");
    }
    return std::nullopt;
}

std::optional<std::u16string> wideCandidate(const TempCandidateRow& row) {
    switch (row.source) {
    case TempSource::TempPath: {
        std::u16string path;
        if (!readSystemString(path, [](wchar_t* b, DWORD n) { return GetTempPathW(n, b); })) return std::nullopt;
        return fitToCapacity(path, kBufferSize);
    }
    case TempSource::UserProfileTemp: {
        std::optional<std::u16string> profile = environmentWide(u"USERPROFILE");
        if (!profile) return std::nullopt;
        return *profile + u"\\AppData\\Local\\Temp";
    }
    case TempSource::HomeDrivePath: {
        std::optional<std::u16string> drive = environmentWide(u"HOMEDRIVE");
        std::optional<std::u16string> path = environmentWide(u"HOMEPATH");
        if (!drive || !path) return std::nullopt;
        return *drive + *path;
    }
    case TempSource::CommonAppDataTemp: {
        GetFolderPathW get = shellFolders().wide;
        wchar_t folder[MAX_PATH];
        if (!get || get(nullptr, kCommonAppDataFolder, nullptr, 0, folder) != S_OK || !folder[0]) return std::nullopt;
        std::u16string quarlo = std::u16string(U(folder)) + u"\\quarlo";
        CreateDirectoryW(W(quarlo), nullptr);
        return quarlo + u"\\temp";
    }
    case TempSource::WindowsTemp:
    case TempSource::WindowsDir: {
        std::u16string dir;
        if (!readSystemString(dir, [](wchar_t* b, DWORD n) { return GetWindowsDirectoryW(b, n); }))
            return std::nullopt;
        return row.source == TempSource::WindowsTemp ? dir + u"\\temp" : dir;
    }
    case TempSource::CTemp:
        return std::u16string(u"c:\\temp");
    case TempSource::CTmp:
        return std::u16string(u"c:\\tmp");
    }
    return std::nullopt;
}

// The long form, asked for once into a buffer of the path buffer's size; a
// longer one is asked for its length first and then fetched. Each call looks
// up every component of the path, so the common case makes one.
std::optional<std::string> longPathNarrow(const std::string& path) {
    std::string buffer(kBufferSize + 10, '\0');
    DWORD n = GetLongPathNameA(path.c_str(), buffer.data(), DWORD(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n >= buffer.size()) {
        buffer.assign(std::size_t(n) + 10, '\0');
        n = GetLongPathNameA(path.c_str(), buffer.data(), DWORD(buffer.size()));
        if (n == 0 || n >= buffer.size()) return std::nullopt;
    }
    buffer.resize(n);
    return buffer;
}

bool checkNarrowCandidate(std::string& candidate, const TempCandidateRow& row, bool longFormWanted) {
    if (row.createFirst) CreateDirectoryA(candidate.c_str(), nullptr);
    bool adopt = row.longFormIfConfigured && longFormWanted;
    if (row.rejectUnrepresentable || adopt) {
        std::optional<std::string> longForm = longPathNarrow(candidate);
        switch (judgeLongForm(candidate, longForm, row.rejectUnrepresentable, adopt)) {
        case LongFormVerdict::Reject:
            return false;
        case LongFormVerdict::Adopt:
            logMessage(u"using long path %S", longForm->c_str());
            candidate = *longForm;
            break;
        case LongFormVerdict::Keep:
            break;
        }
    }
    return isUsableTempDir(candidate);
}

bool checkWideCandidate(std::u16string& candidate, const TempCandidateRow& row) {
    if (row.createFirst) CreateDirectoryW(W(candidate), nullptr);
    if (row.rejectUnrepresentable) {
        wchar_t longForm[kBufferSize];
        DWORD n = GetLongPathNameW(W(candidate), longForm, kBufferSize);
        if (n > 0 && n < kBufferSize && std::u16string_view(U(longForm), n).find(u'?') != std::u16string_view::npos)
            return false;
    }
    return isUsableTempDir(candidate);
}

std::vector<DirectoryEntry> listDirectory(const std::string& pattern) {
    std::vector<DirectoryEntry> entries;
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA(pattern.c_str(), &data));
    if (!find) return entries;
    do {
        entries.push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (FindNextFileA(find.get(), &data));
    return entries;
}

}  // namespace

bool isUsableTempDir(const std::string& candidate) {
    std::string probe = probeDirectoryName(candidate, GetCurrentProcessId(), probeRandom());
    RemoveDirectoryA(probe.c_str());
    if (!CreateDirectoryA(probe.c_str(), nullptr)) return false;
    bool exists = pathExists(probe);
    RemoveDirectoryA(probe.c_str());
    return exists;
}

bool isUsableTempDir(const std::u16string& candidate) {
    std::u16string probe = probeDirectoryName(candidate, GetCurrentProcessId(), probeRandom());
    RemoveDirectoryW(W(probe));
    if (!CreateDirectoryW(W(probe), nullptr)) return false;
    bool exists = pathExists(probe);
    RemoveDirectoryW(W(probe));
    return exists;
}

std::string baseTempDir() {
    if (narrowCache) return *narrowCache;
    bool longFormWanted = getConfigInt(cfg::tempDirLongForm) != 0;
    std::optional<std::string> found = searchTempCandidates(
        narrowCandidate,
        [&](std::string& candidate, const TempCandidateRow& row) {
            return checkNarrowCandidate(candidate, row, longFormWanted);
        });
    if (!found) fatalConfiguredError(cfg::noTempDirectory);
    narrowCache = *found;
    return *found;
}

std::u16string baseTempDirWide(bool fatalIfNone) {
    if (wideCache) return *wideCache;
    std::optional<std::u16string> found = searchTempCandidates(wideCandidate, checkWideCandidate);
    if (!found) {
        if (fatalIfNone) fatalConfiguredError(cfg::noTempDirectory);
        return {};
    }
    wideCache = *found;
    return *found;
}

std::string makeTempFileName() {
    std::string directory = baseTempDir();
    logMessage(u"tempPath is %S", directory.c_str());
    char name[MAX_PATH + 1];
    std::string result;
    if (GetTempFileNameA(directory.c_str(), "vek", 0, name) != 0) {
        result = name;
    } else {
        logMessage(u"GetTempFileName failed (last error %d)", int(GetLastError()));
        result = fallbackTempFileName(directory, probeRandom(), fileApiCodec());
    }
    logMessage(u"tempFile is %S", result.c_str());
    return result;
}

void createLauncherTempDir() {
    std::optional<std::string> directory =
        createLauncherTempDirWith(makeTempFileName, secondsSince1970, [](const std::string& path, uint32_t& error) {
            if (CreateDirectoryA(path.c_str(), nullptr)) return true;
            error = GetLastError();
            return false;
        });
    if (!directory) {
        launcherTempDir.clear();
        fatalConfiguredError(cfg::internalError, std::string("7"));
    }
    launcherTempDir = *directory;
    // Whatever ends the launch from now on removes the directory again.
    atLauncherExit(removeLauncherTempDir);
}

std::u16string newLogFileName() {
    std::u16string prefix = logDirectoryPrefix(baseTempDirWide(false));
    return chooseLogFileName(prefix, [](const std::u16string& name) { return pathExists(name); });
}

namespace {

// The system's final path of what a handle reaches. On the heap: the clean-up
// may run on the launch thread, whose stack the application chose.
std::optional<std::u16string> finalPath(HANDLE handle) {
    std::u16string buffer(kBufferSize, u'\0');
    DWORD n = GetFinalPathNameByHandleW(handle, W(buffer.data()), DWORD(buffer.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= buffer.size()) return std::nullopt;
    buffer.resize(n);
    return buffer;
}

// Removes a file or an empty directory through a handle to the entry itself:
// a junction or symbolic link is removed, never what it leads to. Where the
// system cannot tell a link (a Unix link under Wine shows as a plain file or
// directory, and removing it removes its target), the entry's final path
// lies outside its directory, and the entry is left alone.
void removeEntry(const std::string& path) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    FileHandle entry(CreateFileA(path.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!entry) return;
    const std::string parent = directoryOf(path, fileApiCodec());
    std::optional<std::u16string> directoryFinal;
    if (!parent.empty()) {
        FileHandle directory(CreateFileA(parent.substr(0, parent.size() - 1).c_str(), 0, kShareAll, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (directory) directoryFinal = finalPath(directory.get());
    }
    // Without the directory's final path nothing can be compared, and the
    // entry is removed as the system names it.
    if (directoryFinal) {
        std::optional<std::u16string> entryFinal = finalPath(entry.get());
        if (!entryFinal || !liesDirectlyIn(*entryFinal, *directoryFinal)) {
            logMessage(u"leaving %S: it leads to %s", path.c_str(), entryFinal ? entryFinal->c_str() : u"?");
            return;
        }
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition, sizeof disposition);
}

const DirectoryOps& directoryOps() {
    static const DirectoryOps ops{listDirectory, removeEntry, removeEntry, &fileApiCodec()};
    return ops;
}

}  // namespace

void emptyDirectory(const std::string& path, bool recurse) { emptyDirectoryWith(path, recurse, directoryOps()); }

void removeLauncherTempDir() {
    if (launcherTempDir.empty()) return;
    const DWORD attributes = GetFileAttributesA(launcherTempDir.c_str());
    const bool link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    removeRunDirectoryWith(launcherTempDir, link, directoryOps());
}

}  // namespace wl
