// A small TOML reader for packer configurations: tables, arrays of tables,
// strings (basic, literal and multi-line), integers and booleans. Floats and
// dates are recognised only so that they can be refused by type; arrays and
// inline tables are not part of the format.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pack {

struct TomlValue {
    enum class Type { String, Integer, Boolean, Float };
    Type type = Type::String;
    std::string text;  // UTF-8 for strings, the literal for floats
    int64_t integer = 0;
    bool boolean = false;
};

struct TomlEntry {
    std::string key;
    TomlValue value;
    int line = 0;
};

struct TomlTable {
    std::string name;           // "" for the root table
    bool arrayElement = false;  // declared with [[name]]
    int line = 0;
    std::vector<TomlEntry> entries;
};

// Tables in file order; the root table comes first.
struct TomlDocument {
    std::vector<TomlTable> tables;
};

// Returns false and a message "line N: ..." on a syntax error.
bool parseToml(std::string_view text, TomlDocument& document, std::string& error);

const char* typeName(TomlValue::Type type);

// Writes a string as a TOML basic string, escaping what needs it.
std::string tomlQuote(std::string_view utf8);

}  // namespace pack
