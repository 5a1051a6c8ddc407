// Small helpers for the two string worlds: narrow byte strings (code-page
// text, handed to ANSI functions as they are) and wide UTF-16 strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wl {

// The customary capacity of settings, message, path and line buffers, in bytes
// or code units, terminator included.
inline constexpr std::size_t kBufferSize = 6000;

// Widens byte for byte: each byte value becomes the code unit of the same value.
std::u16string widenBytes(std::string_view bytes);

// The two directions of a narrow code page. Narrow paths and texts are worked
// on in their wide form through one of these: in the double-byte code pages
// (932, 936, 949, 950) the second byte of a character may be 0x5C, the byte of
// the backslash, or a letter, so that a byte-wise scan takes part of a
// character for a separator.
struct NarrowCodec {
    std::u16string (*widen)(std::string_view bytes);
    // Characters without a counterpart become "?" and set lossy (when given).
    std::string (*narrow)(std::u16string_view text, bool* lossy);
};

// Bytes one to one, as a code page whose characters are U+0000-U+00FF; a
// character from U+0100 up has no counterpart.
extern const NarrowCodec kByteCodec;

// The wide form of a narrow text when it converts there and back to the same
// bytes; nothing when it does not (bytes the code page does not define, a
// double-byte character cut in half).
std::optional<std::u16string> exactWideForm(std::string_view bytes, const NarrowCodec& codec);

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

// --- Windows side ---

// The code page of the file functions: the ANSI code page, in which the
// packer stores the settings, unless the process switched the file functions
// to the OEM one. Narrowing asks for no best-fit look-alikes.
const NarrowCodec& fileApiCodec();

}  // namespace wl
