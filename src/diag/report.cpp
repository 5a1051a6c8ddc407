#include "diag/report.h"

#include "base/format.h"

namespace wl {
namespace {

constexpr char16_t kHex[] = u"0123456789abcdef";

void appendAscii(std::u16string& out, const char* text) {
    while (*text) out.push_back(char16_t(static_cast<unsigned char>(*text++)));
}

void appendEscape(std::u16string& out, char16_t c) {
    switch (c) {
        case u'"': out += u"\\\""; return;
        case u'\\': out += u"\\\\"; return;
        case u'\b': out += u"\\b"; return;
        case u'\f': out += u"\\f"; return;
        case u'\n': out += u"\\n"; return;
        case u'\r': out += u"\\r"; return;
        case u'\t': out += u"\\t"; return;
        default: break;
    }
    out += u"\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
}

}  // namespace

std::u16string reportKey(const char* label) {
    std::u16string key;
    bool upper = false;
    for (; *label; ++label) {
        char16_t c = char16_t(static_cast<unsigned char>(*label));
        if (c == u' ' || c == u'-') {
            upper = !key.empty();
            continue;
        }
        key.push_back(upper ? asciiUpper(c) : c);
        upper = false;
    }
    return key;
}

void appendJsonString(std::u16string& out, std::u16string_view text) {
    out.push_back(u'"');
    for (char16_t c : text) {
        if (c < 0x20 || c >= 0x7F || c == u'"' || c == u'\\') appendEscape(out, c);
        else out.push_back(c);
    }
    out.push_back(u'"');
}

ReportWriter::ReportWriter(bool json, Sink sink, const NarrowCodec& codec)
    : json_(json), sink_(sink), codec_(codec) {
    if (json_) out_.push_back(u'{');
}

void ReportWriter::newLine() {
    out_.push_back(u'\n');
    uint32_t indent = depth_;
    if (dash_ && indent > 0) --indent;
    out_.append(2 * indent, u' ');
    if (dash_) out_ += u"- ";
    dash_ = false;
}

void ReportWriter::beginValue(const char* label) {
    const uint64_t bit = uint64_t(1) << (depth_ & 63);
    if (json_) {
        if (nonEmpty_ & bit) out_.push_back(u',');
        if (label) {
            appendJsonString(out_, reportKey(label));
            out_.push_back(u':');
        }
    } else {
        // Every value on a line of its own; one without a label is a list
        // element.
        if (started_) newLine();
        if (label) {
            appendAscii(out_, label);
            out_ += u": ";
        } else {
            out_ += u"- ";
        }
    }
    nonEmpty_ |= bit;
    started_ = true;
}

void ReportWriter::open(const char* label) {
    if (!json_ && !label) {
        // A list element: its first line carries the dash.
        ++depth_;
        dash_ = true;
    } else {
        beginValue(label);
        if (json_) out_.push_back(u'{');
        else out_.pop_back();  // "label: " becomes "label:"
        ++depth_;
    }
    const uint64_t bit = uint64_t(1) << (depth_ & 63);
    lists_ &= ~bit;
    nonEmpty_ &= ~bit;
}

void ReportWriter::openList(const char* label) {
    open(label);
    if (json_) out_.back() = u'[';
    lists_ |= uint64_t(1) << (depth_ & 63);
}

void ReportWriter::close() {
    if (depth_ == 0) return;
    const uint64_t bit = uint64_t(1) << (depth_ & 63);
    if (json_) out_.push_back((lists_ & bit) ? u']' : u'}');
    dash_ = false;
    --depth_;
    flushIfFull();
}

void ReportWriter::text(const char* label, std::u16string_view value) {
    beginValue(label);
    if (json_) {
        appendJsonString(out_, value);
        return;
    }
    // One line per value: control characters are shown as escapes.
    for (char16_t c : value) {
        if (c < 0x20) appendEscape(out_, c);
        else out_.push_back(c);
    }
}

void ReportWriter::narrow(const char* label, std::string_view value) { text(label, codec_.widen(value)); }

void ReportWriter::number(const char* label, int64_t value) {
    beginValue(label);
    out_ += formatWide(u"%I64d", value);
}

void ReportWriter::flag(const char* label, bool value) {
    beginValue(label);
    appendAscii(out_, json_ ? (value ? "true" : "false") : (value ? "yes" : "no"));
}

void ReportWriter::flushIfFull() {
    if (out_.size() < 4096) return;
    sink_(out_);
    out_.clear();
}

void ReportWriter::finish() {
    if (finished_) return;
    while (depth_ > 0) close();
    out_ += json_ ? u"}\n" : u"\n";
    sink_(out_);
    out_.clear();
    finished_ = true;
}

}  // namespace wl
