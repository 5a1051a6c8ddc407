// The Win32 half of reading the executable's own file.
#include "config/messages.h"
#include "diag/log.h"
#include "files/executable.h"
#include "files/paths.h"

namespace wl {

bool FileSource::seek(uint64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(offset);
    if (!SetFilePointerEx(file_, to, nullptr, FILE_BEGIN)) {
        error_ = GetLastError();
        return false;
    }
    return true;
}

bool FileSource::read(void* buffer, uint32_t count, uint32_t& got) {
    DWORD n = 0;
    BOOL ok = ReadFile(file_, buffer, count, &n, nullptr);
    if (!ok) error_ = GetLastError();
    got = n;
    return ok != FALSE;
}

uint64_t FileSource::position() const {
    LARGE_INTEGER zero{}, at{};
    SetFilePointerEx(file_, zero, &at, FILE_CURRENT);
    return uint64_t(at.QuadPart);
}

uint64_t FileSource::size() const {
    LARGE_INTEGER size{};
    GetFileSizeEx(file_, &size);
    return uint64_t(size.QuadPart);
}

FileHandle openOwnExecutable() {
    const std::u16string& path = modulePathWide();
    FileHandle file(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        logError(u"Could not open %p %d %s", static_cast<void*>(INVALID_HANDLE_VALUE), int(error), path.c_str());
        fatalError(u"Error opening media file.");
    }
    return file;
}

}  // namespace wl
