#include "base/format.h"

#include <cstdint>
#include <cstdio>

#include "base/text.h"

namespace wl {
namespace {

struct FieldFormat {
    bool left = false, plus = false, space = false, alt = false, zero = false;
    int width = -1;
    int precision = -1;
};

void pad(std::u16string& out, const std::u16string& body, const FieldFormat& field, bool numeric) {
    std::size_t width = field.width < 0 ? 0 : std::size_t(field.width);
    if (body.size() >= width) {
        out += body;
        return;
    }
    std::size_t fill = width - body.size();
    if (field.left) {
        out += body;
        out.append(fill, u' ');
    } else if (field.zero && numeric) {
        // Zeros go between a sign or 0x prefix and the digits.
        std::size_t lead = 0;
        if (!body.empty() && (body[0] == u'-' || body[0] == u'+' || body[0] == u' ')) lead = 1;
        if (body.size() >= lead + 2 && body[lead] == u'0' && (body[lead + 1] == u'x' || body[lead + 1] == u'X'))
            lead += 2;
        out.append(body, 0, lead);
        out.append(fill, u'0');
        out.append(body, lead, std::u16string::npos);
    } else {
        out.append(fill, u' ');
        out += body;
    }
}

std::u16string integerText(uint64_t magnitude, bool negative, unsigned base, bool upper, const FieldFormat& field,
                           bool isSigned) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string text;
    if (magnitude == 0 && field.precision == 0) {
        text.clear();
    } else {
        do {
            text.insert(text.begin(), char16_t(digits[magnitude % base]));
            magnitude /= base;
        } while (magnitude);
    }
    if (field.precision > 0 && text.size() < std::size_t(field.precision))
        text.insert(0, std::size_t(field.precision) - text.size(), u'0');
    if (field.alt && base == 16 && !text.empty() && text != u"0") text.insert(0, upper ? u"0X" : u"0x");
    if (field.alt && base == 8 && (text.empty() || text[0] != u'0')) text.insert(0, u"0");
    if (negative) text.insert(0, u"-");
    else if (isSigned && field.plus) text.insert(0, u"+");
    else if (isSigned && field.space) text.insert(0, u" ");
    return text;
}

}  // namespace

std::u16string formatWide(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string out = formatWideV(format, args);
    va_end(args);
    return out;
}

std::u16string formatWideV(const char16_t* format, va_list args) {
    std::u16string out;
    if (!format) return out;
    const char16_t* p = format;
    while (*p) {
        if (*p != u'%') {
            // The text up to the next conversion, in one piece.
            const char16_t* run = p;
            while (*p && *p != u'%') ++p;
            out.append(run, std::size_t(p - run));
            continue;
        }
        const char16_t* start = p++;
        if (*p == u'%') {
            out.push_back(u'%');
            ++p;
            continue;
        }
        FieldFormat field;
        for (;; ++p) {
            if (*p == u'-') field.left = true;
            else if (*p == u'+') field.plus = true;
            else if (*p == u' ') field.space = true;
            else if (*p == u'#') field.alt = true;
            else if (*p == u'0') field.zero = true;
            else break;
        }
        if (*p == u'*') {
            int w = va_arg(args, int);
            if (w < 0) { field.left = true; w = -w; }
            field.width = w;
            ++p;
        } else {
            while (*p >= u'0' && *p <= u'9') field.width = (field.width < 0 ? 0 : field.width) * 10 + (*p++ - u'0');
        }
        if (*p == u'.') {
            ++p;
            field.precision = 0;
            if (*p == u'*') {
                field.precision = va_arg(args, int);
                ++p;
            } else {
                while (*p >= u'0' && *p <= u'9') field.precision = field.precision * 10 + (*p++ - u'0');
            }
        }
        // Size modifiers.
        enum { Default, Short, Long, LongLong, Size } size = Default;
        bool narrowText = false, wideText = false;
        if (*p == u'h') { size = Short; narrowText = true; ++p; }
        else if (*p == u'l') {
            ++p;
            wideText = true;
            if (*p == u'l') { size = LongLong; ++p; } else size = Long;
        } else if (*p == u'w') { wideText = true; ++p; }
        else if (*p == u'z') { size = Size; ++p; }
        else if (*p == u'I') {
            if (p[1] == u'6' && p[2] == u'4') { size = LongLong; p += 3; }
            else if (p[1] == u'3' && p[2] == u'2') { size = Default; p += 3; }
            else { size = Size; ++p; }
        }
        char16_t conv = *p;
        if (!conv) {  // a lone % at the end is printed as it stands
            out.append(start);
            break;
        }
        ++p;
        switch (conv) {
            case u'd':
            case u'i': {
                int64_t v;
                if (size == LongLong) v = va_arg(args, long long);
                else if (size == Size) v = int64_t(va_arg(args, intptr_t));
                else if (size == Long) v = va_arg(args, long);
                else v = va_arg(args, int);
                if (size == Short) v = int16_t(v);
                uint64_t magnitude = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
                pad(out, integerText(magnitude, v < 0, 10, false, field, true), field, field.precision < 0);
                break;
            }
            case u'u':
            case u'x':
            case u'X':
            case u'o': {
                uint64_t v;
                if (size == LongLong) v = va_arg(args, unsigned long long);
                else if (size == Size) v = uint64_t(va_arg(args, uintptr_t));
                else if (size == Long) v = va_arg(args, unsigned long);
                else v = va_arg(args, unsigned int);
                if (size == Short) v = uint16_t(v);
                unsigned base = conv == u'u' ? 10 : conv == u'o' ? 8 : 16;
                pad(out, integerText(v, false, base, conv == u'X', field, false), field, field.precision < 0);
                break;
            }
            case u'p': {
                uintptr_t v = reinterpret_cast<uintptr_t>(va_arg(args, void*));
                FieldFormat digits;
                digits.precision = int(2 * sizeof(void*));
                pad(out, integerText(v, false, 16, true, digits, false), field, false);
                break;
            }
            case u'c':
            case u'C': {
                int v = va_arg(args, int);
                bool narrow = (conv == u'C' && !wideText) || narrowText;
                char16_t c = narrow ? char16_t(static_cast<unsigned char>(v)) : char16_t(v);
                pad(out, std::u16string(1, c), field, false);
                break;
            }
            case u's':
            case u'S': {
                bool narrow = (conv == u'S' && !wideText) || narrowText;
                std::u16string text;
                if (narrow) {
                    const char* s = va_arg(args, const char*);
                    if (!s) text = u"(null)";
                    else {
                        std::size_t n = cLength(s);
                        if (field.precision >= 0 && n > std::size_t(field.precision)) n = std::size_t(field.precision);
                        text = widenBytes(std::string_view(s, n));
                    }
                } else {
                    const char16_t* s = va_arg(args, const char16_t*);
                    if (!s) text = u"(null)";
                    else {
                        text = s;
                        if (field.precision >= 0 && text.size() > std::size_t(field.precision))
                            text.resize(std::size_t(field.precision));
                    }
                }
                pad(out, text, field, false);
                break;
            }
            case u'f':
            case u'F':
            case u'e':
            case u'E':
            case u'g':
            case u'G': {
                double v = va_arg(args, double);
                char format[16];
                int k = 0;
                format[k++] = '%';
                if (field.alt) format[k++] = '#';
                if (field.plus) format[k++] = '+';
                else if (field.space) format[k++] = ' ';
                format[k++] = '.';
                format[k++] = '*';
                format[k++] = char(conv);
                format[k] = 0;
                char buffer[400];
                int precision = field.precision < 0 ? 6 : (field.precision > 60 ? 60 : field.precision);
                int n = std::snprintf(buffer, sizeof buffer, format, precision, v);
                if (n < 0) n = 0;
                if (n >= int(sizeof buffer)) n = int(sizeof buffer) - 1;
                pad(out, widenBytes(std::string_view(buffer, std::size_t(n))), field, true);
                break;
            }
            default:
                // Unknown conversion: keep the text as written.
                out.append(start, std::size_t(p - start));
                break;
        }
    }
    return out;
}

}  // namespace wl
