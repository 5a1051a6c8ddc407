// The packer's view of a TOML document, read with toml++: every table with a
// dotted name, in file order, each with its plain values in file order and
// the line and column of every key. Sub-tables, inline tables and arrays of
// tables become tables of their own, so [resources.version] and
// file = [{ ... }] arrive like the header forms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pack {

// Where something stands in the TOML file: 1-based line and column.
struct TomlPlace {
    int line = 0;
    int column = 0;
};

// "line:column: ", the prefix of every message about the file's content.
std::string at(TomlPlace place);

struct TomlValue {
    enum class Type { String, Integer, Boolean, Float, Date, Time, DateTime, Array };
    Type type = Type::String;
    std::string text;  // UTF-8 for strings
    int64_t integer = 0;
    bool boolean = false;
};

struct TomlEntry {
    std::string key;
    TomlValue value;
    TomlPlace place;  // of the key
};

struct TomlTable {
    std::string name;           // "" for the root table, dotted for nested ones
    bool arrayElement = false;  // an element of an array of tables
    TomlPlace place;
    std::vector<TomlEntry> entries;
};

// Tables in file order; the root table comes first.
struct TomlDocument {
    std::vector<TomlTable> tables;
};

// Returns false and a message "line:column: ..." on a syntax error.
bool parseToml(std::string_view text, TomlDocument& document, std::string& error);

const char* typeName(TomlValue::Type type);

// Writes a string as a TOML basic string, escaping what needs it.
std::string tomlQuote(std::string_view utf8);

}  // namespace pack
