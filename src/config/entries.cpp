#include "config/entries.h"

namespace wl {

const CatalogueEntry catalogue[] = {
#define WL_SETTING(id, name, kind, meaning) {cfg::name, #name, EntryKind::kind},
#define WL_MESSAGE(id, name, meaning) {cfg::name, #name, EntryKind::Message},
#include "config/entry_list.h"
};

const std::size_t catalogueSize = sizeof catalogue / sizeof catalogue[0];

const CatalogueEntry* findCatalogueEntry(std::string_view name) {
    for (const CatalogueEntry& e : catalogue)
        if (e.name == name) return &e;
    return nullptr;
}

const CatalogueEntry* findCatalogueEntry(int32_t id) {
    for (const CatalogueEntry& e : catalogue)
        if (e.id == id) return &e;
    return nullptr;
}

}  // namespace wl
