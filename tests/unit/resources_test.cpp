// The packer's resource rebuild on small made-up images: which sections may
// move behind the resources, and the version numbers it takes.
#include <gtest/gtest.h>

#include <cstring>

#include "base/little_endian.h"
#include "resources.h"

using namespace pack;

namespace {

uint32_t get32(const std::string& b, std::size_t o) { return wl::le32At(b, o); }
void put32(std::string& b, std::size_t o, uint32_t v) { wl::storeLe32(b, o, v); }
void put16(std::string& b, std::size_t o, uint32_t v) { wl::storeLe16(b, o, v); }

constexpr std::size_t kPe = 0x40, kOptional = kPe + 24, kSections = kOptional + 240;

// A PE32+ image: .text at 0x1000, .rsrc at 0x2000 with an empty resource
// directory, and a last section at 0x3000 named `last` that is the base
// relocation section when `relocations` is set. File alignment 0x200.
std::string image(const char* last, bool relocations) {
    std::string b(0x800, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 60, kPe);
    b.replace(kPe, 4, std::string("PE\0\0", 4));
    put16(b, kPe + 6, 3);
    put16(b, kPe + 20, 240);
    put16(b, kOptional, 0x20b);
    put32(b, kOptional + 32, 0x1000);  // section alignment
    put32(b, kOptional + 36, 0x200);   // file alignment
    put32(b, kOptional + 56, 0x4000);  // size of image
    put32(b, kOptional + 108, 16);     // data directories
    put32(b, kOptional + 112 + 8 * 2, 0x2000);
    put32(b, kOptional + 112 + 8 * 2 + 4, 16);
    if (relocations) {
        put32(b, kOptional + 112 + 8 * 5, 0x3000);
        put32(b, kOptional + 112 + 8 * 5 + 4, 8);
    }
    const char* names[] = {".text", ".rsrc", last};
    for (uint32_t i = 0; i < 3; ++i) {
        std::size_t h = kSections + 40 * i;
        b.replace(h, std::strlen(names[i]), names[i]);
        put32(b, h + 8, 0x10);
        put32(b, h + 12, 0x1000 * (i + 1));
        put32(b, h + 16, 0x200);
        put32(b, h + 20, 0x200 * (i + 1));
        put32(b, h + 36, 0x40);
    }
    b.replace(0x600, 8, "relocs!!");
    return b;
}

}  // namespace

TEST(PackResources, RelocationsMoveBehindGrownResources) {
    std::string icon(6 + 16 + 0x2000, '\x11');
    icon.replace(0, 22, std::string("\0\0\1\0\1\0\x20\x20\0\0\1\0\x20\0\0\x20\0\0\x16\0\0\0", 22));
    ResourceChanges changes;
    changes.replaceIcon = true;
    changes.icon = icon;
    std::string out, error;
    ASSERT_TRUE(rebuildResources(image(".reloc", true), changes, out, error)) << error;
    std::size_t rsrc = kSections + 40, reloc = kSections + 80;
    uint32_t rsrcSize = get32(out, rsrc + 8);
    EXPECT_GT(rsrcSize, 0x2000u);
    EXPECT_EQ(get32(out, rsrc + 12), 0x2000u) << "the resources stay at their address";
    uint32_t moved = 0x2000 + (rsrcSize + 0xFFF) / 0x1000 * 0x1000;
    EXPECT_EQ(get32(out, reloc + 12), moved);
    EXPECT_EQ(get32(out, kOptional + 112 + 8 * 5), moved) << "the relocation directory follows";
    EXPECT_EQ(get32(out, kOptional + 56), moved + 0x1000) << "size of image";
    EXPECT_EQ(out.size(), get32(out, reloc + 20) + 0x200u) << "nothing behind the last section";
    EXPECT_EQ(out.substr(get32(out, reloc + 20), 8), "relocs!!");
    EXPECT_EQ(out.substr(0x200, 0x200), image(".reloc", true).substr(0x200, 0x200)) << ".text untouched";
}

TEST(PackResources, OtherSectionsBehindTheResourcesAreRefused) {
    ResourceChanges changes;
    changes.replaceVersion = true;
    std::string out, error;
    EXPECT_FALSE(rebuildResources(image(".data", false), changes, out, error));
    EXPECT_EQ(error, "the template has sections behind its resources that cannot move");
}

TEST(PackResources, VersionNumbers) {
    struct Case {
        const char* text;
        bool ok;
        uint64_t value;
    } cases[] = {
        {"1", true, 0x0001000000000000},
        {"1.2.3.4", true, 0x0001000200030004},
        {"65535.0.1-beta", true, 0xFFFF000000010000},
        {"2.1 (build 7)", true, 0x0002000100000000},
        {"1.", true, 0x0001000000000000},
        {"v1", false, 0},
        {"", false, 0},
        {"65536", false, 0},
        {"1.2.3.4.5", false, 0},
    };
    for (const Case& c : cases) {
        uint64_t value = 0;
        std::string error;
        EXPECT_EQ(parseVersionNumber(c.text, value, error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}
