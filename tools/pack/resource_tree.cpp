#include "resource_tree.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/little_endian.h"

namespace pack {
namespace {

constexpr uint32_t kSubdirectoryBit = 0x80000000u;

using wl::appendLe16;
using wl::appendLe32;
using wl::le16At;
using wl::le32At;

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

}  // namespace

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

}  // namespace pack
