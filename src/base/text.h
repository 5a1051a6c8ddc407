// Small helpers for the two string worlds: narrow byte strings (code-page
// text, handed to ANSI functions as they are) and wide UTF-16 strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wl {

// The customary capacity of settings, message, path and line buffers, in bytes
// or code units, terminator included.
inline constexpr std::size_t kBufferSize = 6000;

// Widens byte for byte: each byte value becomes the code unit of the same value.
std::u16string widenBytes(std::string_view bytes);

// Appends the UTF-8 form of one Unicode scalar value.
void appendUtf8(std::string& out, uint32_t codePoint);

// UTF-8 <-> UTF-16. Invalid input becomes U+FFFD; never throws.
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);

// Length of a NUL-terminated string, for either width.
inline std::size_t cLength(const char* s) { return std::char_traits<char>::length(s); }
inline std::size_t cLength(const char16_t* s) { return std::char_traits<char16_t>::length(s); }

// Cuts a string at its first NUL, as a C string would end there.
template <class S> S untilNul(S s) {
    auto at = s.find(typename S::value_type(0));
    if (at != S::npos) s.resize(at);
    return s;
}

// A-Z only, as the launcher has always lowered paths.
template <class C> C asciiLower(C c) { return (c >= 'A' && c <= 'Z') ? C(c - 'A' + 'a') : c; }
template <class C> C asciiUpper(C c) { return (c >= 'a' && c <= 'z') ? C(c - 'a' + 'A') : c; }

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b);

// The items of a ";"-separated list, in order, empty items skipped.
std::vector<std::string> splitList(std::string_view list);
std::vector<std::u16string> splitList(std::u16string_view list);

// Cuts a wide text to at most capacity-1 code units, the room a buffer of
// that capacity leaves beside its terminator.
std::u16string fitToCapacity(std::u16string text, std::size_t capacity);

}  // namespace wl
