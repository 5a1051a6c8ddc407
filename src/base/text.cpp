#include "base/text.h"

#include <algorithm>

namespace wl {
namespace {

template <class S, class View> std::vector<S> splitAtSemicolons(View list) {
    std::vector<S> items;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(typename View::value_type(';'), start);
        if (end == View::npos) end = list.size();
        if (end > start) items.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

}  // namespace

std::vector<std::string> splitList(std::string_view list) { return splitAtSemicolons<std::string>(list); }
std::vector<std::u16string> splitList(std::u16string_view list) { return splitAtSemicolons<std::u16string>(list); }

std::u16string widenBytes(std::string_view bytes) {
    // Made in one piece from the bytes, each taken unsigned: the log formats
    // whole texts this way, and a growing string checks its room at every
    // character.
    const auto* first = reinterpret_cast<const unsigned char*>(bytes.data());
    return std::u16string(first, first + bytes.size());
}

namespace {

std::string narrowBytes(std::u16string_view text, bool* lossy) {
    std::string out;
    out.reserve(text.size());
    bool lost = false;
    for (char16_t c : text) {
        lost = lost || c > 0xFF;
        out.push_back(c > 0xFF ? '?' : char(c));
    }
    if (lossy) *lossy = lost;
    return out;
}

}  // namespace

const NarrowCodec kByteCodec{widenBytes, narrowBytes};

std::optional<std::u16string> exactWideForm(std::string_view bytes, const NarrowCodec& codec) {
    std::u16string wide = codec.widen(bytes);
    bool lossy = false;
    if (codec.narrow(wide, &lossy) != bytes || lossy) return std::nullopt;
    return wide;
}

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // lone surrogate
        }
        appendUtf8(out, c);
    }
    return out;
}

std::u16string fromUtf8(std::string_view text) {
    // Text all of ASCII, the common case, is widened in one piece.
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return widenBytes(text);
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        uint32_t c;
        std::size_t extra;
        if (b < 0x80) { c = b; extra = 0; }
        else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; extra = 1; }
        else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; extra = 2; }
        else if ((b & 0xF8) == 0xF0) { c = b & 0x07; extra = 3; }
        else { out.push_back(0xFFFD); ++i; continue; }
        if (i + extra >= text.size()) {  // sequence cut off by the end
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool ok = true;
        for (std::size_t k = 1; k <= extra; ++k) {
            unsigned char cb = static_cast<unsigned char>(text[i + k]);
            if ((cb & 0xC0) != 0x80) { ok = false; break; }
            c = (c << 6) | (cb & 0x3F);
        }
        static const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        i += extra + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
    }
    return out;
}

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

std::u16string fitToCapacity(std::u16string text, std::size_t capacity) {
    if (capacity == 0) return {};
    if (text.size() > capacity - 1) text.resize(capacity - 1);
    return text;
}

}  // namespace wl
