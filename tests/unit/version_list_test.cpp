#include "base/version_list.h"

#include <gtest/gtest.h>

#include <climits>

namespace wl {
namespace {

TEST(SplitVersion, Table) {
    struct Case {
        const char* text;
        VersionList parts;
    } cases[] = {
        {"1.8.0_202", {1, 8, 0, 202}},
        {"1.8.0_101-b13", {1, 8, 0, 101, 0}},
        {"11.0.2+9", {11, 0, 2, 9}},
        {"9-ea", {9, 0}},
        {"", {}},
        {"._-+", {}},
        {"..1__2..", {1, 2}},
        {"17.0.2 2022", {17, 0, 2}},  // a piece counts by its leading digits
        {"abc.4x", {0, 4}},
        {"99999999999", {INT32_MAX}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(splitVersion(c.text), c.parts);
    }
}

}  // namespace
}  // namespace wl
