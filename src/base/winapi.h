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

#include <algorithm>
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

// The executable's file name as the system reports it, never cut.
inline std::u16string moduleFileNameWide() {
    // A full buffer means the name may be cut, and the call does not say how
    // long it is: the buffer doubles until the name fits, up to the longest
    // path Windows has.
    constexpr DWORD kLongestPath = 32768;
    std::u16string raw;
    for (DWORD size = MAX_PATH;; size = std::min(2 * size, kLongestPath)) {
        raw.assign(size, u'\0');
        DWORD got = GetModuleFileNameW(nullptr, W(raw.data()), size);
        if (got < size || size == kLongestPath) {
            raw.resize(std::min(got, size));
            return raw;
        }
    }
}

}  // namespace wl
