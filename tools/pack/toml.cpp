#include "toml.h"

#include <algorithm>
#include <optional>

// Header-only, without exceptions and without the formatters the packer does
// not use: the host and the Windows build parse with the same code.
#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

namespace pack {
namespace {

TomlPlace placeOf(const toml::source_region& region) {
    return TomlPlace{int(region.begin.line), int(region.begin.column)};
}

bool before(TomlPlace a, TomlPlace b) { return a.line != b.line ? a.line < b.line : a.column < b.column; }

// toml++ words a repeated key or table in its own terms; the packer has always
// said it like this.
std::string describeParseError(std::string_view description) {
    const std::string_view redefine = "cannot redefine existing ";
    std::size_t found = description.find(redefine);
    if (found != std::string_view::npos && description.back() == '\'') {
        std::string_view rest = description.substr(found + redefine.size());
        std::size_t quote = rest.find('\'');
        if (quote != std::string_view::npos && rest.find(" as ", quote) == std::string_view::npos) {
            std::string_view kind = rest.substr(0, quote > 0 ? quote - 1 : 0);
            std::string name(rest.substr(quote + 1, rest.size() - quote - 2));
            if (kind == "table") return "table [" + name + "] is declared twice";
            return "the key " + name + " is given twice";
        }
    }
    return std::string(description);
}

bool plainValue(const toml::node& node, TomlValue& v) {
    switch (node.type()) {
        case toml::node_type::string:
            v.type = TomlValue::Type::String;
            v.text = node.as_string()->get();
            return true;
        case toml::node_type::integer:
            v.type = TomlValue::Type::Integer;
            v.integer = node.as_integer()->get();
            return true;
        case toml::node_type::boolean:
            v.type = TomlValue::Type::Boolean;
            v.boolean = node.as_boolean()->get();
            return true;
        case toml::node_type::floating_point: v.type = TomlValue::Type::Float; return true;
        case toml::node_type::date: v.type = TomlValue::Type::Date; return true;
        case toml::node_type::time: v.type = TomlValue::Type::Time; return true;
        case toml::node_type::date_time: v.type = TomlValue::Type::DateTime; return true;
        case toml::node_type::array: v.type = TomlValue::Type::Array; return true;
        default: return false;
    }
}

// Appends the table and, behind it, every table nested in it.
void collect(const toml::table& table, const std::string& name, bool arrayElement, TomlDocument& doc) {
    TomlTable out;
    out.name = name;
    out.arrayElement = arrayElement;
    out.place = placeOf(table.source());
    std::vector<std::pair<const toml::key*, const toml::node*>> children;
    for (auto&& [key, node] : table) children.emplace_back(&key, &node);
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
        return before(placeOf(a.first->source()), placeOf(b.first->source()));
    });
    std::size_t index = doc.tables.size();
    doc.tables.push_back(std::move(out));
    for (const auto& [key, node] : children) {
        std::string childName = name.empty() ? std::string(key->str()) : name + "." + std::string(key->str());
        if (const toml::table* sub = node->as_table()) {
            collect(*sub, childName, false, doc);
        } else if (const toml::array* array = node->as_array(); array && array->is_array_of_tables()) {
            for (const toml::node& element : *array) collect(*element.as_table(), childName, true, doc);
        } else {
            TomlEntry entry;
            entry.key = std::string(key->str());
            entry.place = placeOf(key->source());
            plainValue(*node, entry.value);
            doc.tables[index].entries.push_back(std::move(entry));
        }
    }
}

// Where the first character beyond ASCII stands outside strings and comments,
// if one does. TOML allows such characters nowhere else, and toml++ 3.3 must
// not see one there: its test for Unicode whitespace reaches an unreachable
// point (undefined behaviour) for most of them, the Latin-1 letters included.
// A quote opens a string only where TOML lets one begin (at the start of a
// line, or after "=", "[", ",", "{" or "."); elsewhere, as in 0"x", toml++
// reads it as part of a bare word.
std::optional<TomlPlace> nonAsciiOutsideStrings(std::string_view text) {
    enum class In { Plain, Comment, Basic, Literal, MultiBasic, MultiLiteral } in = In::Plain;
    TomlPlace place{1, 1};
    char previous = '\n';  // the last character in plain text that was not a blank
    constexpr std::size_t npos = std::string_view::npos;
    auto quotes = [&](std::size_t i, char q) {
        std::size_t n = 0;
        while (i + n < text.size() && text[i + n] == q) ++n;
        return n;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::size_t skip = 0;  // further bytes that belong to this token
        switch (in) {
            case In::Plain:
                if (static_cast<unsigned char>(c) >= 0x80) return place;
                if (c == '#') {
                    in = In::Comment;
                } else if ((c == '"' || c == '\'') && std::string_view("\n=[,{.").find(previous) != npos) {
                    bool multi = quotes(i, c) >= 3;
                    in = c == '"' ? (multi ? In::MultiBasic : In::Basic) : (multi ? In::MultiLiteral : In::Literal);
                    if (multi) skip = 2;
                } else if (c != ' ' && c != '\t' && c != '\r') {
                    previous = c;
                }
                break;
            case In::Comment:
                if (c == '\n') in = In::Plain;
                previous = '\n';
                break;
            case In::Basic:
            case In::Literal:
                if (c == '\\' && in == In::Basic) {
                    skip = 1;
                } else if (c == '\n' || c == (in == In::Basic ? '"' : '\'')) {
                    in = In::Plain;
                    previous = c;
                }
                break;
            case In::MultiBasic:
            case In::MultiLiteral: {
                const char q = in == In::MultiBasic ? '"' : '\'';
                if (c == '\\' && in == In::MultiBasic) {
                    skip = 1;
                } else if (c == q && quotes(i, q) >= 3) {
                    // Up to two quotes before the closing three belong to the text.
                    skip = quotes(i, q) - 1;
                    in = In::Plain;
                    previous = q;
                }
                break;
            }
        }
        for (std::size_t k = 0; k <= skip && i + k < text.size(); ++k) {
            const unsigned char b = static_cast<unsigned char>(text[i + k]);
            if (b == '\n') {
                place = TomlPlace{place.line + 1, 1};
            } else if ((b & 0xC0) != 0x80) {
                ++place.column;
            }
        }
        i += skip;
    }
    return std::nullopt;
}

}  // namespace

std::string at(TomlPlace place) { return std::to_string(place.line) + ":" + std::to_string(place.column) + ": "; }

bool parseToml(std::string_view text, TomlDocument& document, std::string& error) {
    document.tables.clear();
    if (std::optional<TomlPlace> place = nonAsciiOutsideStrings(text)) {
        error = at(*place) + "characters beyond ASCII belong in strings and comments";
        return false;
    }
    toml::parse_result result = toml::parse(text);
    if (!result) {
        const toml::parse_error& failure = result.error();
        error = at(placeOf(failure.source())) + describeParseError(failure.description());
        return false;
    }
    collect(result.table(), "", false, document);
    // Tables in the order they were written; the root table stays first.
    std::stable_sort(document.tables.begin() + 1, document.tables.end(),
                     [](const TomlTable& a, const TomlTable& b) { return before(a.place, b.place); });
    return true;
}

const char* typeName(TomlValue::Type type) {
    switch (type) {
        case TomlValue::Type::String: return "a string";
        case TomlValue::Type::Integer: return "an integer";
        case TomlValue::Type::Boolean: return "a boolean";
        case TomlValue::Type::Float: return "a float";
        case TomlValue::Type::Date: return "a date";
        case TomlValue::Type::Time: return "a time";
        case TomlValue::Type::DateTime: return "a date-time";
        case TomlValue::Type::Array: return "an array";
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
