#include "platform.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>

#include "base/handle.h"
#include "base/text.h"
#include "base/winapi.h"

#include <shellapi.h>

namespace pack {

std::vector<std::string> commandLineArguments(int, char**) {
    // The narrow arguments would be in the ANSI code page and lose every
    // character it lacks; the wide command line has them all.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 1; wide && i < count; ++i) out.push_back(wl::toUtf8(wl::U(wide[i])));
    if (wide) LocalFree(wide);
    return out;
}

ReplacingFile::ReplacingFile(const std::string& path) : path_(path) {
    std::filesystem::path dir = toPath(path).parent_path();
    if (dir.empty()) dir = ".";
    wchar_t temp[MAX_PATH + 1];
    if (!GetTempFileNameW(dir.c_str(), L"wlp", 0, temp)) return;
    temp_ = temp;
    HANDLE file = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileW(temp);
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
}

ReplacingFile::~ReplacingFile() {
    if (handle_ == kNone) return;
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
    DeleteFileW(temp_.c_str());
}

bool ReplacingFile::write(std::string_view bytes) {
    while (!failed_ && !bytes.empty()) {
        DWORD chunk = DWORD(std::min<std::size_t>(bytes.size(), 1u << 30)), done = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes.data(), chunk, &done, nullptr) || done == 0)
            failed_ = true;
        else
            bytes.remove_prefix(done);
    }
    return !failed_;
}

bool ReplacingFile::commit() {
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    bool ok = !failed_ && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    handle_ = kNone;
    if (!ok ||
        !MoveFileExW(temp_.c_str(), toPath(path_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp_.c_str());
        return false;
    }
    return true;
}

void writeText(std::FILE* stream, std::string_view utf8) {
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode;
    if (GetConsoleMode(handle, &mode)) {
        std::u16string text = wl::fromUtf8(utf8);
        DWORD done;
        WriteConsoleW(handle, wl::W(text), DWORD(text.size()), &done, nullptr);
        return;
    }
    // A file or a pipe gets the same bytes as on Linux: UTF-8, line feeds.
    _setmode(_fileno(stream), _O_BINARY);
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

}  // namespace pack
