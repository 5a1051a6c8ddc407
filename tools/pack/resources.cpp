#include "resources.h"

#include <algorithm>
#include <set>

#include "base/little_endian.h"
#include "base/text.h"
#include "pe_image.h"
#include "resource_tree.h"
#include "version_info.h"

namespace pack {
namespace {

constexpr uint32_t kIconType = 3;
constexpr uint32_t kGroupIconType = 14;
constexpr uint32_t kVersionType = 16;
constexpr uint32_t kEnglishUs = 0x0409;
constexpr std::size_t kSecurityDirectory = 4, kRelocationDirectory = 5;

using wl::appendLe16;
using wl::appendLe32;
using wl::le16At;
using wl::le32At;
using wl::storeLe16;
using wl::storeLe32;

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
