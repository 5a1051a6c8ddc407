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

bool writeFileReplacing(const std::string& path, std::string_view bytes, std::string& error) {
    std::filesystem::path target = toPath(path);
    std::filesystem::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    wchar_t temp[MAX_PATH + 1];
    if (!GetTempFileNameW(dir.c_str(), L"wlp", 0, temp)) {
        error = "cannot create a file next to " + path;
        return false;
    }
    bool ok = false;
    {
        wl::FileHandle file(
            CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            std::size_t written = 0;
            while (written < bytes.size()) {
                DWORD chunk = DWORD(std::min<std::size_t>(bytes.size() - written, 1u << 30)), done = 0;
                if (!WriteFile(file.get(), bytes.data() + written, chunk, &done, nullptr) || done == 0) break;
                written += done;
            }
            ok = written == bytes.size() && FlushFileBuffers(file.get());
        }
    }
    if (!ok || !MoveFileExW(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp);
        error = "cannot write " + path;
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
