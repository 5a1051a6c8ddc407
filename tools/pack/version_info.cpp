// The version information resource: built from the version strings, and its
// strings read back.
#include "version_info.h"

#include "base/little_endian.h"
#include "base/text.h"
#include "pe_image.h"

namespace pack {
namespace {

using wl::appendLe16;
using wl::appendLe32;
using wl::le16At;
using wl::storeLe16;

constexpr uint32_t kEnglishUs = 0x0409;
constexpr uint32_t kUnicodeCodePage = 1200;

// One node of a version block: length, value length, type, key, value and
// children, each aligned to 32 bits.
std::string versionNode(std::u16string_view key, std::string_view value, uint32_t valueLength, bool text,
                        const std::vector<std::string>& children) {
    std::string out;
    appendLe16(out, 0);  // length, set below
    appendLe16(out, valueLength);
    appendLe16(out, text ? 1 : 0);
    for (char16_t c : key) appendLe16(out, c);
    appendLe16(out, 0);
    padTo(out, 4);
    out += value;
    for (const std::string& child : children) {
        padTo(out, 4);
        out += child;
    }
    storeLe16(out, 0, uint32_t(out.size()));
    return out;
}

// One node of a version block as read back: where it ends, its key, where
// its value starts and where its children start.
struct VersionNode {
    std::size_t end = 0, value = 0, valueBytes = 0;
    std::u16string key;
    std::size_t children() const { return alignUp(value + valueBytes, 4); }
};

bool readVersionNode(std::string_view v, std::size_t at, std::size_t limit, VersionNode& node) {
    if (at + 6 > limit) return false;
    std::size_t length = le16At(v, at);
    if (length < 6 || at + length > limit) return false;
    node.end = at + length;
    bool text = le16At(v, at + 4) == 1;
    node.valueBytes = le16At(v, at + 2) * (text ? 2 : 1);
    node.key.clear();
    std::size_t k = at + 6;
    for (; k + 2 <= node.end && le16At(v, k); k += 2) node.key.push_back(char16_t(le16At(v, k)));
    node.value = alignUp(k + 2, 4);
    return true;
}

}  // namespace

bool parseVersionNumber(std::string_view text, uint64_t& value, std::string& error) {
    uint64_t parts[4] = {0, 0, 0, 0};
    std::size_t i = 0, count = 0;
    auto digit = [&](std::size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
    for (;;) {
        if (!digit(i)) {
            error = "must begin with a version number such as 1.2.3.4";
            return false;
        }
        uint64_t n = 0;
        while (digit(i) && n <= 65535) n = n * 10 + uint64_t(text[i++] - '0');
        if (n > 65535) {
            error = "must have numbers no larger than 65535";
            return false;
        }
        parts[count++] = n;
        if (i < text.size() && text[i] == '.' && digit(i + 1)) {
            if (count == 4) {
                error = "must have at most four numbers";
                return false;
            }
            ++i;
            continue;
        }
        break;
    }
    value = parts[0] << 48 | parts[1] << 32 | parts[2] << 16 | parts[3];
    return true;
}

std::string buildVersionInfo(const std::vector<std::pair<std::string, std::string>>& strings) {
    uint64_t fileVersion = 0, productVersion = 0;
    bool productGiven = false;
    std::string ignored;
    std::vector<std::string> stringNodes;
    for (const std::string_view key : kVersionKeys)
        for (const auto& [k, v] : strings) {
            if (k != key) continue;
            if (k == "FileVersion") parseVersionNumber(v, fileVersion, ignored);
            if (k == "ProductVersion") productGiven = parseVersionNumber(v, productVersion, ignored);
            std::u16string text = wl::fromUtf8(v);
            std::string value;
            for (char16_t c : text) appendLe16(value, c);
            appendLe16(value, 0);
            stringNodes.push_back(versionNode(wl::fromUtf8(k), value, uint32_t(text.size() + 1), true, {}));
        }
    if (!productGiven) productVersion = fileVersion;

    std::string fixed;
    appendLe32(fixed, 0xFEEF04BD);  // signature
    appendLe32(fixed, 0x00010000);  // structure version 1.0
    appendLe32(fixed, uint32_t(fileVersion >> 32));
    appendLe32(fixed, uint32_t(fileVersion));
    appendLe32(fixed, uint32_t(productVersion >> 32));
    appendLe32(fixed, uint32_t(productVersion));
    appendLe32(fixed, 0x3F);        // flags mask
    appendLe32(fixed, 0);           // flags
    appendLe32(fixed, 0x00040004);  // VOS_NT_WINDOWS32
    appendLe32(fixed, 1);           // VFT_APP
    appendLe32(fixed, 0);           // subtype
    appendLe32(fixed, 0);           // date
    appendLe32(fixed, 0);

    std::string table = versionNode(u"040904B0", {}, 0, true, stringNodes);
    std::string stringInfo = versionNode(u"StringFileInfo", {}, 0, true, {table});
    std::string translation;
    appendLe16(translation, kEnglishUs);
    appendLe16(translation, kUnicodeCodePage);
    std::string var = versionNode(u"Translation", translation, 4, false, {});
    std::string varInfo = versionNode(u"VarFileInfo", {}, 0, true, {var});
    return versionNode(u"VS_VERSION_INFO", fixed, uint32_t(fixed.size()), false, {stringInfo, varInfo});
}

void readVersionStrings(std::string_view v, std::vector<std::pair<std::string, std::string>>& versionStrings) {
    // VS_VERSIONINFO, its StringFileInfo, the first string table, its strings.
    VersionNode root, child, table, text;
    if (!readVersionNode(v, 0, v.size(), root) || root.key != u"VS_VERSION_INFO") return;
    for (std::size_t at = root.children(); readVersionNode(v, at, root.end, child); at = alignUp(child.end, 4)) {
        if (child.key != u"StringFileInfo") continue;
        if (!readVersionNode(v, child.children(), child.end, table)) return;
        for (std::size_t s = table.children(); readVersionNode(v, s, table.end, text); s = alignUp(text.end, 4)) {
            std::u16string value;
            for (std::size_t t = text.value; t + 2 <= text.end && le16At(v, t); t += 2)
                value.push_back(char16_t(le16At(v, t)));
            versionStrings.emplace_back(wl::toUtf8(text.key), wl::toUtf8(value));
        }
        return;
    }
}

}  // namespace pack
