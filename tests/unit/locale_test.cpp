#include <gtest/gtest.h>

#include "base/process_state.h"
#include "config/locale.h"

using namespace wl;

TEST(Locale, LookupExamples) {
    struct Case {
        uint16_t id;
        const char* code;
    };
    const Case cases[] = {
        {0x0407, "de_DE"}, {0x0C07, "de_AT"}, {0x0409, "en_US"}, {0x0804, "zh_CN"}, {0x0404, "zh_TW"},
        // Not in the table: the primary language decides.
        {0x4809, "en"}, {0x3C0C, "fr"},
        // Unknown primary language.
        {0x0462, "en"}, {0x0000, "en"}, {0xFFFF, "en"},
        {0x0814, "no_NO_NY"}, {0x0431, "ts"}, {0x040D, "iw_IL"}, {0x0421, "in_ID"},
        // Identifiers that share a code.
        {0x040A, "es_ES"}, {0x0C0A, "es_ES"}, {0x081A, "sr_CS"}, {0x0C1A, "sr_CS"}, {0x0812, "ko_KR"},
        {0x041A, "hr_HR"}, {0x2409, "en"}, {0x0444, "tt"}, {0x043D, "yi"},
        // The bare rows themselves, first and last.
        {0x0001, "ar"}, {0x0056, "gl"}, {0x500A, "es_PR"},
        // A full identifier of an unlisted sublanguage of a bare-only language.
        {0x0C31, "ts"},
    };
    for (const Case& c : cases) EXPECT_EQ(localeCodeFor(c.id), c.code) << std::hex << c.id;
}

TEST(Locale, RememberedParts) {
    struct Case {
        const char* code;
        const char* language;
        const char* country;
    };
    const Case cases[] = {{"de_DE", "de", "DE"}, {"no_NO_NY", "no", ""}, {"ts", "ts", ""}, {"en", "en", ""}};
    for (const Case& c : cases) {
        localeLanguage.clear();
        localeCountry.clear();
        rememberLocaleParts(c.code);
        EXPECT_EQ(localeLanguage, c.language);
        EXPECT_EQ(localeCountry, c.country);
    }
}
