// The one door to <windows.h>. Portable files never include this header.
#pragma once

#ifndef _WIN32
#error "winapi.h is for the Windows builds only"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>

#include <optional>
#include <string>

namespace wl {

// The wide strings of this program are char16_t; on Windows wchar_t has the
// same size and encoding, so the W functions take them as they are.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be UTF-16 on Windows");

inline const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
inline wchar_t* W(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }
inline const char16_t* U(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }
inline char16_t* U(wchar_t* s) { return reinterpret_cast<char16_t*>(s); }

// Reads a system string through a call that takes a buffer and its capacity
// and returns the length written, or the size needed when the buffer is too
// small (the GetXxxW convention). Returns false when the call fails.
template <class Call>
bool readSystemString(std::u16string& out, Call call, DWORD initial = MAX_PATH) {
    std::u16string buffer(initial, u'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD n = call(W(buffer.data()), DWORD(buffer.size()));
        if (n == 0) return false;
        if (n < buffer.size()) {
            buffer.resize(n);
            out = std::move(buffer);
            return true;
        }
        buffer.assign(n + 1, u'\0');
    }
    return false;
}

// The narrow value of an environment variable, whatever its length; nothing
// when the variable is not set or empty.
inline std::optional<std::string> readEnvironmentNarrow(const char* name) {
    DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size <= 1) return std::nullopt;
    std::string value(size, '\0');
    DWORD n = GetEnvironmentVariableA(name, value.data(), size);
    if (n == 0 || n >= size) return std::nullopt;
    value.resize(n);
    return value;
}

}  // namespace wl
