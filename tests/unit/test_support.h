// Helpers shared by the unit tests: readable wide strings and the log lines
// that the portable code wrote.
#pragma once

#include <iconv.h>

#include <string>
#include <vector>

#include "base/text.h"

namespace wl {
// Defined by the build machine's log (src/diag/log_host.cpp).
std::vector<std::u16string>& capturedLogLines();
}  // namespace wl

namespace testing_support {

inline std::string utf8(const std::u16string& s) { return wl::toUtf8(s); }
inline std::u16string wide(const std::string& s) { return wl::fromUtf8(s); }

// The captured log lines as UTF-8, and a fresh start for the next check.
inline std::vector<std::string> logLines() {
    std::vector<std::string> out;
    for (const std::u16string& line : wl::capturedLogLines()) out.push_back(wl::toUtf8(line));
    return out;
}
inline void clearLog() { wl::capturedLogLines().clear(); }

// A code page through the C library's iconv, one character at a time: what
// cannot be converted becomes "?" (narrowing, reported lost) or U+FFFD
// (widening, one byte at a time).
inline std::string iconvOne(const char* to, const char* from, std::string in, bool& ok) {
    iconv_t cd = iconv_open(to, from);
    std::string out(16, '\0');
    char* src = in.data();
    char* dst = out.data();
    std::size_t srcLeft = in.size(), dstLeft = out.size();
    ok = cd != iconv_t(-1) && iconv(cd, &src, &srcLeft, &dst, &dstLeft) != std::size_t(-1) && srcLeft == 0 &&
         iconv(cd, nullptr, nullptr, &dst, &dstLeft) != std::size_t(-1);
    if (cd != iconv_t(-1)) iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

template <const char* CodePage> std::u16string widenIconv(std::string_view bytes) {
    std::u16string out;
    for (std::size_t i = 0; i < bytes.size();) {
        bool ok = false;
        std::string unit;
        std::size_t length = 1;
        for (; length <= 2 && i + length <= bytes.size() && !ok; ++length)
            unit = iconvOne("UTF-16LE", CodePage, std::string(bytes.substr(i, length)), ok);
        if (!ok) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        for (std::size_t k = 0; k + 1 < unit.size(); k += 2)
            out.push_back(char16_t(uint8_t(unit[k]) | uint8_t(unit[k + 1]) << 8));
        i += length - 1;
    }
    return out;
}

template <const char* CodePage> std::string narrowIconv(std::u16string_view text, bool* lossy) {
    std::string out;
    bool lost = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::size_t units = (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size()) ? 2 : 1;
        std::string unit;
        for (std::size_t k = 0; k < units; ++k) {
            unit.push_back(char(text[i + k] & 0xFF));
            unit.push_back(char(text[i + k] >> 8));
        }
        i += units - 1;
        bool ok = false;
        std::string bytes = iconvOne(CodePage, "UTF-16LE", unit, ok);
        lost = lost || !ok;
        out += ok ? bytes : "?";
    }
    if (lossy) *lossy = lost;
    return out;
}

inline constexpr char kCp932[] = "CP932";
inline constexpr char kCp1252[] = "CP1252";
// Japanese: 表, 能 and ソ end in 0x5C, the byte of the backslash.
inline const wl::NarrowCodec kCodePage932{widenIconv<kCp932>, narrowIconv<kCp932>};
// The code page 932 bytes of a UTF-8 text.
inline std::string cp932(const std::string& text) { return kCodePage932.narrow(wide(text), nullptr); }
// Western European: 0x80-0x9F are characters such as the em dash (0x97).
inline const wl::NarrowCodec kCodePage1252{widenIconv<kCp1252>, narrowIconv<kCp1252>};

}  // namespace testing_support
