#include "instance/instance.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

TEST(Instance, NameIsPrefixAndSanitisedKey) {
    struct {
        const char* key;
        bool global;
        const char* expected;
    } cases[] = {
        {"c:\\program files\\app\\app.exe", false, "Local\\c:_program_files_app_app.exe"},
        {"c:\\program files\\app\\app.exe", true, "Global\\c:_program_files_app_app.exe"},
        {"\\\\server\\share\\a b.exe", false, "Local\\__server_share_a_b.exe"},
        {"c:/x/y.exe", false, "Local\\c:/x/y.exe"},
        {"c:\\予定表\\a b.exe", false, "Local\\c:_予定表_a_b.exe"},  // 表 keeps its second byte, 5C
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wl::instanceNameFor(testing_support::cp932(c.key), c.global, testing_support::kCodePage932),
                  testing_support::cp932(c.expected))
            << c.key;
    }
}

TEST(Instance, NumberedNamesFollowTheName) {
    std::string name = wl::instanceNameFor("c:\\app\\app.exe", false, wl::kByteCodec);
    EXPECT_EQ(wl::numberedInstanceName(name, 0), "Local\\c:_app_app.exe0");
    EXPECT_EQ(wl::numberedInstanceName(name, 2), "Local\\c:_app_app.exe2");
    EXPECT_EQ(wl::numberedInstanceName(name, 100000), "Local\\c:_app_app.exe100000");
}

TEST(Instance, AnExistingOrForbiddenNameIsTaken) {
    const std::pair<uint32_t, bool> cases[] = {
        {0, false}, {183, true}, {5, true}, {6, false}, {1450, false},
    };
    for (auto [error, taken] : cases) EXPECT_EQ(wl::semaphoreNameTaken(error), taken) << error;
}

TEST(Instance, ActivationOnlyForThisExecutable) {
    const std::u16string own = u"C:\\Program Files\\App\\app.exe";
    const std::pair<const char16_t*, bool> cases[] = {
        {u"C:\\Program Files\\App\\app.exe", true},
        {u"c:\\PROGRAM FILES\\app\\APP.EXE", true},
        {u"C:\\Program Files\\\\App\\app.exe", true},
        {u"C:\\Windows\\explorer.exe", false},
        {u"C:\\Program Files\\App\\app.exe2", false},
        {u"", false},
    };
    for (auto [image, same] : cases) EXPECT_EQ(wl::sameExecutable(image, own), same);
}

}  // namespace
