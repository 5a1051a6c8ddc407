#include "toml.h"

#include <set>

#include "base/text.h"

namespace pack {
namespace {

class Parser {
public:
    Parser(std::string_view text, TomlDocument& doc, std::string& error) : s_(text), doc_(doc), error_(error) {}

    bool run() {
        doc_.tables.push_back(TomlTable{});
        while (pos_ < s_.size()) {
            skipBlanks();
            if (atLineEnd()) {
                if (!endLine()) return false;
                continue;
            }
            bool ok = peek() == '[' ? table() : keyValue();
            if (!ok) return false;
            skipBlanks();
            if (!atLineEnd()) return fail("unexpected text after the value");
            if (!endLine()) return false;
        }
        return true;
    }

private:
    char peek(std::size_t ahead = 0) const { return pos_ + ahead < s_.size() ? s_[pos_ + ahead] : '\0'; }
    bool fail(const std::string& message) {
        error_ = "line " + std::to_string(line_) + ": " + message;
        return false;
    }
    void skipBlanks() {
        while (peek() == ' ' || peek() == '\t') ++pos_;
    }
    bool atLineEnd() const {
        char c = peek();
        return pos_ >= s_.size() || c == '\n' || c == '\r' || c == '#';
    }
    bool endLine() {
        if (peek() == '#') {
            while (pos_ < s_.size() && peek() != '\n') ++pos_;
        }
        if (peek() == '\r') {
            ++pos_;
            if (peek() != '\n') return fail("a carriage return must be followed by a line feed");
        }
        if (peek() == '\n') {
            ++pos_;
            ++line_;
        }
        return true;
    }

    static bool bareKeyChar(char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    }

    bool simpleKey(std::string& key) {
        if (peek() == '"' || peek() == '\'') {
            TomlValue v;
            if (!string(v)) return false;
            key = v.text;
            return true;
        }
        std::size_t start = pos_;
        while (bareKeyChar(peek())) ++pos_;
        if (pos_ == start) return fail("a key is missing");
        key.assign(s_.substr(start, pos_ - start));
        return true;
    }

    // A key, possibly dotted; dotted parts are joined with ".".
    bool key(std::string& key) {
        if (!simpleKey(key)) return false;
        for (;;) {
            skipBlanks();
            if (peek() != '.') return true;
            ++pos_;
            skipBlanks();
            std::string part;
            if (!simpleKey(part)) return false;
            key += "." + part;
        }
    }

    bool table() {
        bool array = peek(1) == '[';
        pos_ += array ? 2 : 1;
        skipBlanks();
        std::string name;
        if (!key(name)) return false;
        skipBlanks();
        if (array ? (peek() != ']' || peek(1) != ']') : peek() != ']')
            return fail(array ? "\"]]\" expected" : "\"]\" expected");
        pos_ += array ? 2 : 1;
        if (!array) {
            if (!declared_.insert(name).second) return fail("table [" + name + "] is declared twice");
        }
        TomlTable t;
        t.name = name;
        t.arrayElement = array;
        t.line = line_;
        doc_.tables.push_back(std::move(t));
        return true;
    }

    bool keyValue() {
        TomlEntry entry;
        entry.line = line_;
        if (!key(entry.key)) return false;
        skipBlanks();
        if (peek() != '=') return fail("\"=\" expected after the key " + entry.key);
        ++pos_;
        skipBlanks();
        if (!value(entry.value)) return false;
        TomlTable& table = doc_.tables.back();
        for (const TomlEntry& e : table.entries)
            if (e.key == entry.key) return fail("the key " + entry.key + " is given twice");
        table.entries.push_back(std::move(entry));
        return true;
    }

    bool value(TomlValue& v) {
        char c = peek();
        if (c == '"' || c == '\'') return string(v);
        if (c == '[') return fail("arrays are not used in this file");
        if (c == '{') return fail("inline tables are not used in this file");
        if (s_.substr(pos_, 4) == "true" && !bareKeyChar(peek(4))) {
            v.type = TomlValue::Type::Boolean;
            v.boolean = true;
            pos_ += 4;
            return true;
        }
        if (s_.substr(pos_, 5) == "false" && !bareKeyChar(peek(5))) {
            v.type = TomlValue::Type::Boolean;
            pos_ += 5;
            return true;
        }
        return number(v);
    }

    bool number(TomlValue& v) {
        std::size_t start = pos_;
        while (pos_ < s_.size() && !atLineEnd() && peek() != ' ' && peek() != '\t') ++pos_;
        std::string literal(s_.substr(start, pos_ - start));
        if (literal.empty()) return fail("a value is missing");
        std::string digits;
        std::size_t i = 0;
        bool negative = false;
        if (literal[0] == '+' || literal[0] == '-') {
            negative = literal[0] == '-';
            i = 1;
        }
        bool isInteger = i < literal.size();
        char previous = '_';
        for (; i < literal.size(); ++i) {
            char c = literal[i];
            if (c >= '0' && c <= '9') digits.push_back(c);
            else if (c == '_' && previous != '_') {
            } else {
                isInteger = false;
                break;
            }
            previous = c;
        }
        if (isInteger && previous != '_' && !digits.empty() && !(digits.size() > 1 && digits[0] == '0')) {
            if (digits.size() > 19) return fail("the integer " + literal + " is too large");
            unsigned long long magnitude = std::stoull(digits);
            if (magnitude > (negative ? 9223372036854775808ull : 9223372036854775807ull))
                return fail("the integer " + literal + " is too large");
            v.type = TomlValue::Type::Integer;
            v.integer = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
            return true;
        }
        bool floatLike = literal.find_first_not_of("0123456789+-._eE") == std::string::npos ||
                         literal == "inf" || literal == "nan" || literal == "+inf" || literal == "-inf";
        if (floatLike && literal.find_first_of("0123456789in") != std::string::npos) {
            v.type = TomlValue::Type::Float;
            v.text = literal;
            return true;
        }
        return fail("cannot read the value " + literal);
    }

    bool escape(std::string& out) {
        char c = peek();
        ++pos_;
        switch (c) {
            case 'b': out.push_back('\b'); return true;
            case 't': out.push_back('\t'); return true;
            case 'n': out.push_back('\n'); return true;
            case 'f': out.push_back('\f'); return true;
            case 'r': out.push_back('\r'); return true;
            case '"': out.push_back('"'); return true;
            case '\\': out.push_back('\\'); return true;
            case 'u':
            case 'U': {
                std::size_t n = c == 'u' ? 4 : 8;
                if (pos_ + n > s_.size()) return fail("incomplete \\" + std::string(1, c) + " escape");
                uint32_t code = 0;
                for (std::size_t k = 0; k < n; ++k) {
                    char h = s_[pos_ + k];
                    int d = (h >= '0' && h <= '9') ? h - '0' : (h >= 'a' && h <= 'f') ? h - 'a' + 10
                                                          : (h >= 'A' && h <= 'F') ? h - 'A' + 10 : -1;
                    if (d < 0) return fail("bad hex digit in an escape");
                    code = code * 16 + uint32_t(d);
                }
                pos_ += n;
                if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                    return fail("the escape names no Unicode scalar value");
                wl::appendUtf8(out, code);
                return true;
            }
            default:
                return fail(std::string("unknown escape \\") + c);
        }
    }

    bool string(TomlValue& v) {
        v.type = TomlValue::Type::String;
        char quote = peek();
        bool multi = peek(1) == quote && peek(2) == quote;
        bool literal = quote == '\'';
        pos_ += multi ? 3 : 1;
        if (multi) {  // a newline right after the opening quotes is dropped
            if (peek() == '\r' && peek(1) == '\n') pos_ += 2;
            else if (peek() == '\n') ++pos_;
            if (pos_ > 0 && s_[pos_ - 1] == '\n') ++line_;
        }
        std::string out;
        for (;;) {
            if (pos_ >= s_.size()) return fail("a string is not closed");
            char c = peek();
            if (c == quote) {
                if (!multi) {
                    ++pos_;
                    break;
                }
                if (peek(1) == quote && peek(2) == quote) {
                    // """"" closes with up to two quotes of content before it.
                    std::size_t run = 3;
                    while (run < 5 && peek(run) == quote) ++run;
                    out.append(run - 3, quote);
                    pos_ += run;
                    break;
                }
            }
            if ((c == '\n' || c == '\r') && !multi) return fail("a string is not closed on its line");
            if (c == '\n') ++line_;
            if (c == '\\' && !literal) {
                ++pos_;
                if (multi && (peek() == '\n' || peek() == '\r' || peek() == ' ' || peek() == '\t')) {
                    // A line-ending backslash trims the whitespace that follows.
                    while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r') {
                        if (peek() == '\n') ++line_;
                        ++pos_;
                    }
                    continue;
                }
                if (!escape(out)) return false;
                continue;
            }
            unsigned char u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t' && !(multi && (c == '\n' || c == '\r'))) || u == 0x7F)
                return fail("control character in a string; write it as an escape");
            out.push_back(c);
            ++pos_;
        }
        v.text = std::move(out);
        return true;
    }

    std::string_view s_;
    TomlDocument& doc_;
    std::string& error_;
    std::size_t pos_ = 0;
    int line_ = 1;
    std::set<std::string> declared_;
};

}  // namespace

bool parseToml(std::string_view text, TomlDocument& document, std::string& error) {
    document.tables.clear();
    return Parser(text, document, error).run();
}

const char* typeName(TomlValue::Type type) {
    switch (type) {
        case TomlValue::Type::String: return "a string";
        case TomlValue::Type::Integer: return "an integer";
        case TomlValue::Type::Boolean: return "a boolean";
        case TomlValue::Type::Float: return "a float";
    }
    return "a value";
}

std::string tomlQuote(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    static const char hex[] = "0123456789ABCDEF";
                    out += "\\u00";
                    out.push_back(hex[u >> 4]);
                    out.push_back(hex[u & 15]);
                } else {
                    out.push_back(c);
                }
        }
    }
    out += "\"";
    return out;
}

}  // namespace pack
