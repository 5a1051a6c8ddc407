// A stand-in for a Java runtime's bin\unpack200.exe, started with the command
// line -r "pack" "target". It writes the target jar (the text "unpacked from "
// and the pack file's content) and appends its command line to
// unpack200.record beside it. It leaves the pack file alone, so that the
// caller's own clean-up shows.
#include <windows.h>

#include "text.h"

#include <string>
#include <vector>

namespace {

using testing_text::utf8;

// The texts between double quotes, in order.
std::vector<std::wstring> quoted(const std::wstring& line) {
    std::vector<std::wstring> parts;
    size_t at = 0;
    while ((at = line.find(L'"', at)) != std::wstring::npos) {
        size_t end = line.find(L'"', at + 1);
        if (end == std::wstring::npos) break;
        parts.push_back(line.substr(at + 1, end - at - 1));
        at = end + 1;
    }
    return parts;
}

void write(const std::wstring& name, const std::string& text, bool appendToIt) {
    HANDLE file = CreateFileW(name.c_str(), appendToIt ? FILE_APPEND_DATA : GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, appendToIt ? OPEN_ALWAYS : CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string readFile(const std::wstring& name) {
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string data(65536, '\0');
    DWORD got = 0;
    ReadFile(file, data.data(), DWORD(data.size()), &got, nullptr);
    CloseHandle(file);
    data.resize(got);
    return data;
}

}  // namespace

int main() {
    wchar_t self[32768];
    DWORD n = GetModuleFileNameW(nullptr, self, 32768);
    std::wstring path(self, n);
    std::wstring dir = path.substr(0, path.find_last_of(L'\\') + 1);
    std::wstring line = GetCommandLineW();
    write(dir + L"unpack200.record", utf8(line) + "\n", true);

    std::vector<std::wstring> files = quoted(line);
    if (files.size() != 2) return 2;
    write(files[1], "unpacked from " + readFile(files[0]), false);
    return 0;
}
