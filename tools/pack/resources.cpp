#include "resources.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/little_endian.h"
#include "base/text.h"
#include "pe_image.h"
#include "version_info.h"

namespace pack {
namespace {

constexpr uint32_t kIconType = 3;
constexpr uint32_t kGroupIconType = 14;
constexpr uint32_t kVersionType = 16;
constexpr uint32_t kEnglishUs = 0x0409;
constexpr uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::size_t kResourceDirectory = 2, kSecurityDirectory = 4, kRelocationDirectory = 5;

using wl::appendLe16;
using wl::appendLe32;
using wl::le16At;
using wl::le32At;
using wl::storeLe16;
using wl::storeLe32;

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

ResourceKey idKey(uint32_t id) { return ResourceKey{false, id, {}}; }

struct Resource {
    ResourceKey type, name;
    uint32_t language = 0;
    uint32_t codePage = 0;
    std::string data;
};

using ResourceList = std::vector<Resource>;

class TreeReader {
public:
    TreeReader(std::string_view image, const PeImage& pe, const PeSection& section, std::string& error)
        : image_(image), pe_(pe), section_(section), error_(error) {}

    bool read(ResourceList& out) { return directory(0, 0, {}, out); }

private:
    bool fail(const std::string& what) {
        error_ = "the template's resources are damaged (" + what + ")";
        return false;
    }
    bool inSection(uint64_t offset, uint64_t size) const { return offset <= section_.rawSize && size <= section_.rawSize - offset; }
    std::size_t fileOffset(uint32_t offset) const { return section_.rawOffset + offset; }

    bool key(uint32_t field, ResourceKey& key) {
        if (!(field & kSubdirectoryBit)) {
            key = idKey(field);
            return true;
        }
        uint32_t at = field & ~kSubdirectoryBit;
        if (!inSection(at, 2)) return fail("a name lies outside the section");
        uint32_t length = le16At(image_, fileOffset(at));
        if (!inSection(at + 2ull, 2ull * length)) return fail("a name lies outside the section");
        key.named = true;
        key.name.clear();
        for (uint32_t i = 0; i < length; ++i) key.name.push_back(char16_t(le16At(image_, fileOffset(at + 2 + 2 * i))));
        return true;
    }

    bool directory(uint32_t at, int depth, std::vector<ResourceKey> path, ResourceList& out) {
        if (!visited_.insert(at).second) return fail("a directory is reached twice");
        if (!inSection(at, 16)) return fail("a directory lies outside the section");
        uint32_t entries = le16At(image_, fileOffset(at + 12)) + le16At(image_, fileOffset(at + 14));
        if (!inSection(at + 16ull, 8ull * entries)) return fail("a directory lies outside the section");
        for (uint32_t i = 0; i < entries; ++i) {
            std::size_t e = fileOffset(at + 16 + 8 * i);
            ResourceKey k;
            if (!key(le32At(image_, e), k)) return false;
            uint32_t target = le32At(image_, e + 4);
            path.push_back(k);
            if (target & kSubdirectoryBit) {
                if (depth >= 2) return fail("the tree is deeper than type, name and language");
                if (!directory(target & ~kSubdirectoryBit, depth + 1, path, out)) return false;
            } else {
                if (depth != 2) return fail("data stands above the language level");
                if (!leaf(target, path, out)) return false;
            }
            path.pop_back();
        }
        return true;
    }

    bool leaf(uint32_t at, const std::vector<ResourceKey>& path, ResourceList& out) {
        if (!inSection(at, 16)) return fail("a data entry lies outside the section");
        uint32_t address = le32At(image_, fileOffset(at)), size = le32At(image_, fileOffset(at + 4));
        const PeSection* holder = pe_.sectionAt(address);
        if (!holder) return fail("data lies outside the image");
        uint64_t offset = uint64_t(address - holder->address);
        if (offset > holder->rawSize || size > holder->rawSize - offset ||
            holder->rawOffset + offset + size > image_.size())
            return fail("data lies outside the file");
        if (path[2].named) return fail("a language is given by name");
        Resource r;
        r.type = path[0];
        r.name = path[1];
        r.language = path[2].id;
        r.codePage = le32At(image_, fileOffset(at + 8));
        r.data.assign(image_.substr(holder->rawOffset + offset, size));
        out.push_back(std::move(r));
        return true;
    }

    std::string_view image_;
    const PeImage& pe_;
    const PeSection& section_;
    std::string& error_;
    std::set<uint32_t> visited_;
};

// The resource section's bytes for the resources, laid out for the address
// the section is loaded at: directories, data entries, names, then the data.
std::string writeTree(ResourceList resources, uint32_t sectionAddress) {
    std::sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
        if (!(a.type == b.type)) return a.type < b.type;
        if (!(a.name == b.name)) return a.name < b.name;
        return a.language < b.language;
    });
    // The tree: types, the names of each type, the languages of each name.
    std::vector<ResourceKey> types;
    std::vector<std::vector<ResourceKey>> names;              // per type
    std::vector<std::vector<std::vector<std::size_t>>> langs;  // per type and name: indices into resources
    for (std::size_t i = 0; i < resources.size(); ++i) {
        const Resource& r = resources[i];
        if (types.empty() || !(types.back() == r.type)) {
            types.push_back(r.type);
            names.emplace_back();
            langs.emplace_back();
        }
        if (names.back().empty() || !(names.back().back() == r.name)) {
            names.back().push_back(r.name);
            langs.back().emplace_back();
        }
        langs.back().back().push_back(i);
    }
    auto directorySize = [](std::size_t n) { return 16 + 8 * n; };
    // Offsets of every directory, breadth first.
    std::size_t cursor = directorySize(types.size());
    std::vector<std::size_t> nameDirs, langDirs;
    for (std::size_t t = 0; t < types.size(); ++t) {
        nameDirs.push_back(cursor);
        cursor += directorySize(names[t].size());
    }
    for (std::size_t t = 0; t < types.size(); ++t)
        for (std::size_t n = 0; n < names[t].size(); ++n) {
            langDirs.push_back(cursor);
            cursor += directorySize(langs[t][n].size());
        }
    std::size_t dataEntries = cursor;
    cursor += 16 * resources.size();
    // Names, each an int16 length and UTF-16 text, shared when repeated.
    std::map<std::u16string, std::size_t> nameOffsets;
    std::string strings;
    auto noteName = [&](const ResourceKey& k) {
        if (k.named && !nameOffsets.count(k.name)) {
            nameOffsets[k.name] = cursor + strings.size();
            appendLe16(strings, uint32_t(k.name.size()));
            for (char16_t c : k.name) appendLe16(strings, c);
        }
    };
    for (std::size_t t = 0; t < types.size(); ++t) {
        noteName(types[t]);
        for (const ResourceKey& n : names[t]) noteName(n);
    }
    cursor = alignUp(cursor + strings.size(), 8);
    std::vector<std::size_t> dataOffsets;
    for (const Resource& r : resources) {
        dataOffsets.push_back(cursor);
        cursor = alignUp(cursor + r.data.size(), 8);
    }

    std::string out;
    auto directory = [&](std::size_t named, std::size_t total) {
        appendLe32(out, 0);  // characteristics
        appendLe32(out, 0);  // time stamp: none, so that packing is repeatable
        appendLe32(out, 0);  // version
        appendLe16(out, uint32_t(named));
        appendLe16(out, uint32_t(total - named));
    };
    auto keyField = [&](const ResourceKey& k) {
        return k.named ? kSubdirectoryBit | uint32_t(nameOffsets[k.name]) : k.id;
    };
    auto countNamed = [](const std::vector<ResourceKey>& keys) {
        return std::size_t(std::count_if(keys.begin(), keys.end(), [](const ResourceKey& k) { return k.named; }));
    };
    directory(countNamed(types), types.size());
    for (std::size_t t = 0; t < types.size(); ++t) {
        appendLe32(out, keyField(types[t]));
        appendLe32(out, kSubdirectoryBit | uint32_t(nameDirs[t]));
    }
    std::size_t langDir = 0;
    for (std::size_t t = 0; t < types.size(); ++t) {
        directory(countNamed(names[t]), names[t].size());
        for (std::size_t n = 0; n < names[t].size(); ++n) {
            appendLe32(out, keyField(names[t][n]));
            appendLe32(out, kSubdirectoryBit | uint32_t(langDirs[langDir++]));
        }
    }
    for (std::size_t t = 0; t < types.size(); ++t)
        for (std::size_t n = 0; n < names[t].size(); ++n) {
            directory(0, langs[t][n].size());
            for (std::size_t i : langs[t][n]) {
                appendLe32(out, resources[i].language);
                appendLe32(out, uint32_t(dataEntries + 16 * i));
            }
        }
    for (std::size_t i = 0; i < resources.size(); ++i) {
        appendLe32(out, sectionAddress + uint32_t(dataOffsets[i]));
        appendLe32(out, uint32_t(resources[i].data.size()));
        appendLe32(out, resources[i].codePage);
        appendLe32(out, 0);
    }
    out += strings;
    for (std::size_t i = 0; i < resources.size(); ++i) {
        out.resize(dataOffsets[i], '\0');
        out += resources[i].data;
    }
    return out;
}

// The resource section of the image and every resource in it.
bool readResourceList(std::string_view image, const PeImage& pe, const PeSection*& section, ResourceList& list,
                      std::string& error) {
    uint32_t address = pe.directoryAddress(image, kResourceDirectory);
    section = address ? pe.sectionAt(address) : nullptr;
    if (!section) {
        error = "the template has no resources to change";
        return false;
    }
    if (section->address != address || uint64_t(section->rawOffset) + section->rawSize > image.size()) {
        error = "the template's resources do not fill a section of their own";
        return false;
    }
    return TreeReader(image, pe, *section, error).read(list);
}

// The .ico file's images as RT_ICON resources and the RT_GROUP_ICON that
// lists them under the given ids.
void iconResources(std::string_view ico, const std::vector<uint32_t>& ids, std::string& group,
                   std::vector<std::string>& images) {
    uint32_t count = le16At(ico, 4);
    group.clear();
    appendLe16(group, 0);
    appendLe16(group, 1);
    appendLe16(group, count);
    for (uint32_t i = 0; i < count; ++i) {
        std::size_t e = 6 + 16 * i;
        group += ico.substr(e, 12);  // size, colours, planes, bit count, bytes
        appendLe16(group, ids[i]);
        images.emplace_back(ico.substr(le32At(ico, e + 12), le32At(ico, e + 8)));
    }
}

void replaceIcon(ResourceList& list, std::string_view ico) {
    // The first group in the loader's order is the one the shell shows; it is
    // replaced with its images, under its own name and language.
    ResourceKey groupName = idKey(1);
    uint32_t language = kEnglishUs;
    const Resource* first = nullptr;
    for (const Resource& r : list)
        if (r.type == idKey(kGroupIconType) &&
            (!first || r.name < first->name || (r.name == first->name && r.language < first->language)))
            first = &r;
    std::set<uint32_t> oldImages;
    if (first) {
        groupName = first->name;
        language = first->language;
        std::string_view g = first->data;
        for (std::size_t i = 0; g.size() >= 6 && i < le16At(g, 4) && 6 + 14 * (i + 1) <= g.size(); ++i)
            oldImages.insert(le16At(g, 6 + 14 * i + 12));
    }
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const Resource& r) {
                                  if (r.type == idKey(kGroupIconType))
                                      return r.name == groupName && r.language == language;
                                  return r.type == idKey(kIconType) && !r.name.named && oldImages.count(r.name.id) &&
                                         r.language == language;
                              }),
               list.end());
    std::set<uint32_t> taken;
    for (const Resource& r : list)
        if (r.type == idKey(kIconType) && !r.name.named) taken.insert(r.name.id);
    std::vector<uint32_t> ids;
    for (uint32_t id = 1; ids.size() < le16At(ico, 4); ++id)
        if (!taken.count(id)) ids.push_back(id);
    std::string group;
    std::vector<std::string> images;
    iconResources(ico, ids, group, images);
    for (std::size_t i = 0; i < images.size(); ++i)
        list.push_back(Resource{idKey(kIconType), idKey(ids[i]), language, 0, std::move(images[i])});
    list.push_back(Resource{idKey(kGroupIconType), groupName, language, 0, std::move(group)});
}

}  // namespace

bool checkIconFile(std::string_view ico, std::string& error) {
    if (ico.size() < 6 || le16At(ico, 0) != 0 || le16At(ico, 2) != 1) {
        error = "is not an .ico file";
        return false;
    }
    uint32_t count = le16At(ico, 4);
    if (count == 0) {
        error = "holds no image";
        return false;
    }
    if (6 + 16ull * count > ico.size()) {
        error = "ends inside its directory";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t size = le32At(ico, 6 + 16 * i + 8), offset = le32At(ico, 6 + 16 * i + 12);
        if (size == 0 || offset < 6 + 16ull * count || offset + size > ico.size()) {
            error = "has an image " + std::to_string(i + 1) + " that lies outside the file";
            return false;
        }
    }
    return true;
}

bool rebuildResources(std::string_view image, const ResourceChanges& changes, std::string& out, std::string& error) {
    PeImage pe;
    if (!pe.read(image, error)) return false;
    const PeSection* section;
    ResourceList list;
    if (!readResourceList(image, pe, section, list, error)) return false;
    for (std::size_t d = 0; d < pe.directoryCount; ++d) {
        uint32_t address = pe.directoryAddress(image, d);
        if (d != kResourceDirectory && d != kSecurityDirectory && address && pe.sectionAt(address) == section) {
            error = "the template's resource section holds other data too";
            return false;
        }
    }
    // Behind the resources only the base relocations may lie: nothing refers
    // to their address but the directory entry, so they can move.
    uint32_t relocations = pe.directoryAddress(image, kRelocationDirectory);
    std::vector<const PeSection*> behind;
    for (const PeSection& s : pe.sections) {
        if (s.address <= section->address) continue;
        if (s.address != relocations || s.rawOffset < section->rawOffset + section->rawSize) {
            error = "the template has sections behind its resources that cannot move";
            return false;
        }
        behind.push_back(&s);
    }

    if (changes.replaceIcon) replaceIcon(list, changes.icon);
    if (changes.replaceVersion) {
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [](const Resource& r) { return r.type == idKey(kVersionType); }),
                   list.end());
        list.push_back(Resource{idKey(kVersionType), idKey(1), kEnglishUs, 0, buildVersionInfo(changes.versionStrings)});
    }
    std::string tree = writeTree(list, section->address);

    out.assign(image.substr(0, section->rawOffset));
    out += tree;
    padTo(out, pe.fileAlignment);
    uint32_t rawSize = uint32_t(out.size() - section->rawOffset);
    uint32_t nextAddress = section->address + uint32_t(alignUp(tree.size(), pe.sectionAlignment));
    storeLe32(out, section->header + 8, uint32_t(tree.size()));
    storeLe32(out, section->header + 16, rawSize);
    storeLe32(out, pe.directories + 8 * kResourceDirectory + 4, uint32_t(tree.size()));
    for (const PeSection* s : behind) {
        storeLe32(out, s->header + 12, nextAddress);
        storeLe32(out, s->header + 20, s->rawSize ? uint32_t(out.size()) : 0);
        if (relocations == s->address) storeLe32(out, pe.directories + 8 * kRelocationDirectory, nextAddress);
        out += image.substr(s->rawOffset, s->rawSize);
        nextAddress += uint32_t(alignUp(s->virtualSize ? s->virtualSize : s->rawSize, pe.sectionAlignment));
    }
    storeLe32(out, pe.optional + 56, nextAddress);  // SizeOfImage
    if (section->characteristics & 0x40) {       // initialized data: SizeOfInitializedData follows
        uint32_t initialized = le32At(out, pe.optional + 8) - section->rawSize + rawSize;
        storeLe32(out, pe.optional + 8, initialized);
    }
    if (le32At(out, pe.optional + 64)) storeLe32(out, pe.optional + 64, peChecksum(out, pe.optional + 64));
    return true;
}

bool readResources(std::string_view image, std::string& icon,
                   std::vector<std::pair<std::string, std::string>>& versionStrings, std::string& error) {
    icon.clear();
    versionStrings.clear();
    PeImage pe;
    if (!pe.read(image, error)) return false;
    if (!pe.directoryAddress(image, kResourceDirectory)) return true;
    const PeSection* section;
    ResourceList list;
    if (!readResourceList(image, pe, section, list, error)) return false;
    std::sort(list.begin(), list.end(), [](const Resource& a, const Resource& b) {
        return a.name == b.name ? a.language < b.language : a.name < b.name;
    });

    for (const Resource& group : list) {
        if (!(group.type == idKey(kGroupIconType))) continue;
        std::string_view g = group.data;
        uint32_t count = g.size() >= 6 ? le16At(g, 4) : 0;
        if (count == 0 || 6 + 14ull * count > g.size()) break;
        std::string header, images;
        appendLe16(header, 0);
        appendLe16(header, 1);
        appendLe16(header, count);
        uint32_t offset = 6 + 16 * count;
        for (uint32_t i = 0; i < count; ++i) {
            std::size_t e = 6 + 14 * i;
            const Resource* image = nullptr;
            for (const Resource& r : list)
                if (r.type == idKey(kIconType) && r.name == idKey(le16At(g, e + 12)) && r.language == group.language)
                    image = &r;
            if (!image) {
                error = "the icon group names an image that is missing";
                return false;
            }
            header += g.substr(e, 8);  // size, colours, planes, bit count
            appendLe32(header, uint32_t(image->data.size()));
            appendLe32(header, offset);
            offset += uint32_t(image->data.size());
            images += image->data;
        }
        icon = header + images;
        break;
    }

    for (const Resource& r : list)
        if (r.type == idKey(kVersionType)) {
            readVersionStrings(r.data, versionStrings);
            break;
        }
    return true;
}

bool isSigned(std::string_view image) {
    PeImage pe;
    std::string error;
    return pe.read(image, error) && pe.directorySize(image, kSecurityDirectory) != 0;
}

}  // namespace pack
