// A report written as it is produced, as readable text or as one JSON object,
// through the same calls: a section, a list, a field. Nothing is held but the
// nesting and a small output buffer, so the report costs no more than what it
// says.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"

namespace wl {

class ReportWriter {
public:
    // Receives the report in pieces; a piece never splits a line of the text
    // form's output or a JSON escape.
    using Sink = void (*)(const std::u16string& piece);

    // Labels are lower-case words separated by spaces ("main class"). The text
    // form shows them as they are; JSON keys are their camel-case form
    // ("mainClass"). Narrow values are widened through the codec.
    ReportWriter(bool json, Sink sink, const NarrowCodec& codec);
    ~ReportWriter() { finish(); }
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // A section (an object). Inside a list the label is null: an element.
    void open(const char* label);
    // A list (an array) whose elements are values or sections without labels.
    void openList(const char* label);
    void close();

    void text(const char* label, std::u16string_view value);
    void narrow(const char* label, std::string_view value);
    void number(const char* label, int64_t value);
    void flag(const char* label, bool value);

    // Closes what is open and hands the rest of the output to the sink. Later
    // calls do nothing.
    void finish();

private:
    void beginValue(const char* label);
    void newLine();
    void quoted(std::u16string_view value);
    void flushIfFull();

    bool json_;
    bool finished_ = false;
    bool started_ = false;  // a value was written
    bool dash_ = false;  // text form: the next line is the first of a list element
    Sink sink_;
    const NarrowCodec& codec_;
    uint32_t depth_ = 0;
    uint64_t lists_ = 0;      // bit d: the container at depth d is a list
    uint64_t nonEmpty_ = 0;   // bit d: the container at depth d has an element
    std::u16string out_;
};

// The JSON key of a label: spaces and hyphens dropped, each letter that
// follows one in upper case ("per-run directory" gives "perRunDirectory").
std::u16string reportKey(const char* label);

// Appends the JSON string form of the text, quotes included: quote,
// backslash and control characters escaped, and everything beyond ASCII as
// \u escapes (pairs for characters beyond the BMP), so that the output is
// ASCII whatever the console's code page.
void appendJsonString(std::u16string& out, std::u16string_view text);

}  // namespace wl
