// The catalogue of configuration ids: every setting and message the launcher
// reads, with the name the code and the packer use for it (config/entry_list.h).
#pragma once

#include <cstdint>
#include <string_view>

namespace wl {
namespace cfg {

// Settings: narrow byte strings. The indexed family of version-specific
// options has condition k at 10201 + 2k and options k at 10202 + 2k.
enum Setting : int32_t {
#define WL_SETTING(id, name, kind, meaning) name = id,
#define WL_INDEXED(id, name, kind, meaning) name = id,
#include "config/entry_list.h"
};

// Messages: UTF-16 texts, replaced by language sections.
enum Message : int32_t {
#define WL_MESSAGE(id, name, meaning) name = id,
#include "config/entry_list.h"
};

}  // namespace cfg

// How a value is written by the packer and read by the launcher.
enum class EntryKind : uint8_t {
    Text,     // a narrow string
    Int,      // a decimal integer
    Flag,     // a decimal integer, non-zero meaning on
    Message,  // a UTF-16 text of the messages table
};

struct CatalogueEntry {
    int32_t id;
    std::string_view name;
    EntryKind kind;
};

// Every named id, settings first, in ascending order within each table. The
// indexed family of version-specific options is addressed by number only.
extern const CatalogueEntry catalogue[];
extern const std::size_t catalogueSize;

// Finds an entry by name or by id; nullptr when unknown. Setting and message
// ids never coincide.
const CatalogueEntry* findCatalogueEntry(std::string_view name);
const CatalogueEntry* findCatalogueEntry(int32_t id);

}  // namespace wl
