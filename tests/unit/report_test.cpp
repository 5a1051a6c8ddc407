// The report writer of /diagnose: one sequence of calls, written as text and
// as JSON, with the escapes each form needs.
#include "diag/report.h"

#include <gtest/gtest.h>

#include "test_support.h"

using namespace wl;
using namespace testing_support;

namespace {

std::u16string written;
void collect(const std::u16string& piece) { written += piece; }

// A small report with a section, a list of values, a list of sections, a
// number and a flag; returned in the form asked for, as UTF-8.
std::string sample(bool json, std::u16string_view value) {
    written.clear();
    {
        ReportWriter report(json, collect, kByteCodec);
        report.text("main class", value);
        report.open("block");
        report.number("size", 4096);
        report.openList("included files");
        report.narrow(nullptr, "a.jar");
        report.narrow(nullptr, "lib\\b.dll");
        report.close();
        report.close();
        report.openList("steps");
        report.open(nullptr);
        report.text("step", u"entry A");
        report.openList("candidates");
        report.open(nullptr);
        report.narrow("java", "c:\\j\\bin\\java.exe");
        report.flag("chosen", true);
        report.close();
        report.close();
        report.close();
        report.open(nullptr);
        report.flag("empty", false);
        // Left open: the writer closes what is open when it goes.
    }
    return toUtf8(written);
}

TEST(ReportWriter, TextFormNestsByIndentAndDashes) {
    EXPECT_EQ(sample(false, u"app.Main"),
              "main class: app.Main\n"
              "block:\n"
              "  size: 4096\n"
              "  included files:\n"
              "    - a.jar\n"
              "    - lib\\b.dll\n"
              "steps:\n"
              "  - step: entry A\n"
              "    candidates:\n"
              "      - java: c:\\j\\bin\\java.exe\n"
              "        chosen: yes\n"
              "  - empty: no\n");
}

TEST(ReportWriter, JsonFormIsOneObject) {
    EXPECT_EQ(sample(true, u"app.Main"),
              "{\"mainClass\":\"app.Main\",\"block\":{\"size\":4096,\"includedFiles\":[\"a.jar\",\"lib\\\\b.dll\"]},"
              "\"steps\":[{\"step\":\"entry A\",\"candidates\":[{\"java\":\"c:\\\\j\\\\bin\\\\java.exe\","
              "\"chosen\":true}]},{\"empty\":false}]}\n");
}

TEST(ReportWriter, Escapes) {
    // Quote, backslash, the control characters with short escapes and one
    // without, DEL, Latin-1, a BMP character, a pair and a lone surrogate.
    const std::u16string value = u"q\"b\\t\tn\nr\rf\fb\b\x01\x7F\u00E9\u8868\U0001F600\xD800";
    std::u16string json;
    appendJsonString(json, value);
    EXPECT_EQ(toUtf8(json),
              "\"q\\\"b\\\\t\\tn\\nr\\rf\\fb\\b\\u0001\\u007f\\u00e9\\u8868\\ud83d\\ude00\\ud800\"");
    // The text form keeps quotes, backslashes and characters beyond ASCII,
    // and shows control characters as escapes, so a value stays on its line.
    written.clear();
    {
        ReportWriter report(false, collect, kByteCodec);
        report.text("v", u"a\"\\\t\u00E9\n");
    }
    EXPECT_EQ(toUtf8(written), "v: a\"\\\\t\u00E9\\n\n");
    // Narrow values are widened through the codec given.
    written.clear();
    {
        ReportWriter report(true, collect, kByteCodec);
        report.narrow("v", "\xE9");
    }
    EXPECT_EQ(toUtf8(written), "{\"v\":\"\\u00e9\"}\n");
}

TEST(ReportWriter, KeysAndLongOutput) {
    EXPECT_EQ(reportKey("main class"), u"mainClass");
    EXPECT_EQ(reportKey("held by another copy"), u"heldByAnotherCopy");
    EXPECT_EQ(reportKey("per-run directory"), u"perRunDirectory");
    EXPECT_EQ(reportKey("size"), u"size");
    // A report longer than the writer's buffer arrives whole and in order,
    // in more than one piece, and finish is idempotent.
    written.clear();
    int pieces = 0;
    static int* counter = &pieces;
    {
        ReportWriter report(true, [](const std::u16string& piece) { written += piece; ++*counter; }, kByteCodec);
        report.openList("options");
        for (int i = 0; i < 2000; ++i) {
            report.open(nullptr);
            report.number("index", i);
            report.close();
        }
        report.close();
        report.finish();
        report.finish();
    }
    EXPECT_GT(pieces, 1);
    const std::string json = toUtf8(written);
    EXPECT_EQ(json.rfind("{\"options\":[{\"index\":0},{\"index\":1},", 0), 0u);
    EXPECT_TRUE(json.ends_with(",{\"index\":1998},{\"index\":1999}]}\n")) << json.substr(json.size() - 40);
}

}  // namespace
