// The resource directory of a PE image: every resource read out of its
// section, and the section's bytes written anew for a list of resources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pe_image.h"

namespace pack {

constexpr std::size_t kResourceDirectory = 2;

// One resource: type, name and language, each an id or a name.
struct ResourceKey {
    bool named = false;
    uint32_t id = 0;
    std::u16string name;
    bool operator<(const ResourceKey& o) const {
        // Named entries come first, in code-unit order, then ids ascending:
        // the order the loader's binary search expects.
        if (named != o.named) return named;
        return named ? name < o.name : id < o.id;
    }
    bool operator==(const ResourceKey& o) const { return named == o.named && id == o.id && name == o.name; }
};

inline ResourceKey idKey(uint32_t id) { return ResourceKey{false, id, {}}; }

struct Resource {
    ResourceKey type, name;
    uint32_t language = 0;
    uint32_t codePage = 0;
    std::string data;
};

using ResourceList = std::vector<Resource>;

// The resource section of the image and every resource in it.
bool readResourceList(std::string_view image, const PeImage& pe, const PeSection*& section, ResourceList& list,
                      std::string& error);

// The resource section's bytes for the resources, laid out for the address
// the section is loaded at: directories, data entries, names, then the data.
std::string writeTree(ResourceList resources, uint32_t sectionAddress);

}  // namespace pack
